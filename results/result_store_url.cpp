#include "results/result_store_url.h"

#include <algorithm>
#include <cctype>

#include "results/result_postgres.h"

namespace {

bool starts_with(std::string_view text, std::string_view head) { return text.substr(0, head.size()) == head; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percent_decoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 && hex_value(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

void add_secret(ResultStoreUrl* url, std::string_view secret) {
    if (secret.empty()) return;
    url->secrets.emplace_back(secret);
    const std::string decoded = percent_decoded(secret);
    if (decoded != secret) url->secrets.push_back(decoded);
}

// postgresql://[user[:password]@][hosts][/db][?key=value&...]: the same
// without the password in the user part or the query.
void parse_uri(std::string_view text, ResultStoreUrl* url) {
    const size_t authority = text.find("://") + 3;
    std::string display(text.substr(0, authority));
    // libpq reads credentials up to the first '@' before any '/'.
    size_t end = authority;
    while (end < text.size() && text[end] != '@' && text[end] != '/') ++end;
    size_t rest = authority;
    if (end < text.size() && text[end] == '@') {
        const std::string_view userinfo = text.substr(authority, end - authority);
        const size_t colon = userinfo.find(':');
        display += userinfo.substr(0, colon);
        if (colon != std::string_view::npos) add_secret(url, userinfo.substr(colon + 1));
        display += '@';
        rest = end + 1;
    }
    const size_t query = text.find('?', rest);
    display += text.substr(rest, query == std::string_view::npos ? std::string_view::npos : query - rest);
    if (query != std::string_view::npos) {
        std::string kept;
        std::string_view params = text.substr(query + 1);
        while (!params.empty()) {
            const size_t amp = params.find('&');
            const std::string_view param = params.substr(0, amp);
            params = amp == std::string_view::npos ? std::string_view() : params.substr(amp + 1);
            const std::string_view key = param.substr(0, param.find('='));
            if (percent_decoded(key) == "password") {
                if (key.size() < param.size()) add_secret(url, param.substr(key.size() + 1));
                continue;
            }
            kept += kept.empty() ? "?" : "&";
            kept += param;
        }
        display += kept;
    }
    url->display = display;
}

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// key = value pairs as libpq reads them: a value is a run of characters up
// to white space, or single-quoted; a backslash takes the next character.
bool parse_keywords(std::string_view text, ResultStoreUrl* url) {
    std::string display;
    size_t i = 0;
    bool any = false;
    for (;;) {
        while (i < text.size() && is_space(text[i])) ++i;
        if (i == text.size()) break;
        const size_t key_start = i;
        while (i < text.size() && text[i] != '=' && !is_space(text[i])) ++i;
        const std::string key(text.substr(key_start, i - key_start));
        while (i < text.size() && is_space(text[i])) ++i;
        if (key.empty() || i == text.size() || text[i] != '=') return false;
        ++i;
        while (i < text.size() && is_space(text[i])) ++i;
        std::string value;
        bool closed = true;
        if (i < text.size() && text[i] == '\'') {
            closed = false;
            for (++i; i < text.size(); ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    value.push_back(text[++i]);
                } else if (text[i] == '\'') {
                    closed = true;
                    ++i;
                    break;
                } else {
                    value.push_back(text[i]);
                }
            }
        } else {
            for (; i < text.size() && !is_space(text[i]); ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) ++i;
                value.push_back(text[i]);
            }
        }
        if (key == "password") {
            add_secret(url, value);
        } else {
            std::string quoted;
            for (const char c : value) {
                if (c == '\'' || c == '\\') quoted.push_back('\\');
                quoted.push_back(c);
            }
            const bool plain = !value.empty() && quoted == value && value.find_first_of(" \t\r\n") == std::string::npos;
            display += (display.empty() ? "" : " ") + key + "=" + (plain ? value : "'" + quoted + "'");
        }
        if (!closed) return false;
        any = true;
    }
    url->display = display;
    return any;
}

}  // namespace

bool result_store_url_parse(std::string_view text, ResultStoreUrl* url, std::string* error) {
    *url = ResultStoreUrl{};
    if (text.empty()) {
        url->display = result_history_default_path().string();
        return true;
    }
    if (starts_with(text, "sqlite:")) {
        url->kind = ResultStoreUrl::Kind::sqlite;
        url->path = std::string(text.substr(7));
        url->display = "sqlite:" + url->path.string();
        if (url->path.empty()) {
            *error = "sqlite: needs the path of the file, such as sqlite:results.sqlite3";
            return false;
        }
        return true;
    }
    url->kind = ResultStoreUrl::Kind::postgresql;
    url->conninfo = std::string(text);
    if (starts_with(text, "postgresql://") || starts_with(text, "postgres://")) {
        parse_uri(text, url);
        // A password may also stand elsewhere (a value libpq cannot use).
        url->display = result_store_scrub(url->display, *url);
        return true;
    }
    if (text.find('=') != std::string_view::npos) {
        const bool ok = parse_keywords(text, url);
        url->display = result_store_scrub(url->display, *url);
        if (!ok) {
            *url = ResultStoreUrl{};
            *error = "not a libpq connection string: write key=value pairs, such as host=db.example dbname=numera";
        }
        return ok;
    }
    *url = ResultStoreUrl{};
    *error = "not a store: write sqlite:PATH, postgresql://USER@HOST/DATABASE or a libpq connection string";
    return false;
}

std::string result_store_scrub(std::string text, const ResultStoreUrl& url) {
    // Longest first, so a password that contains another is hidden whole.
    std::vector<std::string> secrets = url.secrets;
    std::sort(secrets.begin(), secrets.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const std::string& secret : secrets) {
        for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3)) {
            text.replace(at, secret.size(), "***");
        }
    }
    std::string line;
    for (const char c : text) {
        if (c == '\n' || c == '\r' || c == '\t') {
            if (!line.empty() && line.back() != ' ') line.push_back(' ');
        } else {
            line.push_back(c);
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::unique_ptr<ResultStore> result_store_open(const ResultStoreUrl& url) {
    switch (url.kind) {
        case ResultStoreUrl::Kind::history: return result_history_open(result_history_default_path());
        case ResultStoreUrl::Kind::sqlite: return result_history_open(url.path);
        case ResultStoreUrl::Kind::postgresql: break;
    }
    return result_postgres_open(url);
}

std::unique_ptr<ResultStore> result_store_open_existing(const ResultStoreUrl& url) {
    switch (url.kind) {
        case ResultStoreUrl::Kind::history: return result_history_open_existing(result_history_default_path());
        case ResultStoreUrl::Kind::sqlite: return result_history_open_existing(url.path);
        case ResultStoreUrl::Kind::postgresql: break;
    }
    return result_postgres_open(url);
}

bool result_since_parse(std::string_view text, std::string* since) {
    const auto digits = [&](size_t from, size_t n) {
        if (text.size() < from + n) return false;
        for (size_t i = from; i < from + n; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        }
        return true;
    };
    const bool date = digits(0, 4) && text.size() >= 10 && text[4] == '-' && digits(5, 2) && text[7] == '-' &&
                      digits(8, 2);
    if (!date) return false;
    const int month = (text[5] - '0') * 10 + (text[6] - '0');
    const int day = (text[8] - '0') * 10 + (text[9] - '0');
    if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    if (text.size() == 10) {
        *since = std::string(text) + "T00:00:00Z";
        return true;
    }
    const bool minutes = text.size() >= 17 && text[10] == 'T' && digits(11, 2) && text[13] == ':' && digits(14, 2);
    if (!minutes) return false;
    std::string seconds = ":00";
    size_t z = 16;
    if (text.size() == 20 && text[16] == ':' && digits(17, 2)) {
        seconds = std::string(text.substr(16, 3));
        z = 19;
    }
    if (text.size() != z + 1 || text[z] != 'Z') return false;
    const int hour = (text[11] - '0') * 10 + (text[12] - '0');
    const int minute = (text[14] - '0') * 10 + (text[15] - '0');
    const int second = (seconds[1] - '0') * 10 + (seconds[2] - '0');
    if (hour > 23 || minute > 59 || second > 60) return false;
    *since = std::string(text.substr(0, 16)) + seconds + "Z";
    return true;
}

std::string result_host_pattern_like(std::string_view pattern) {
    std::string like;
    for (const char c : pattern) {
        switch (c) {
            case '*': like.push_back('%'); break;
            case '?': like.push_back('_'); break;
            case '%':
            case '_':
            case '\\':
                like.push_back('\\');
                like.push_back(c);
                break;
            default: like.push_back(c);
        }
    }
    return like;
}

#ifndef NUMERA_WITH_POSTGRESQL
std::unique_ptr<ResultStore> result_postgres_open(const ResultStoreUrl& url) {
    throw ResultStoreError(url.display + ": this Numera was built without PostgreSQL");
}

void result_postgres_migrate_to(const ResultStoreUrl& url, int) { result_postgres_open(url); }

bool result_postgres_available() { return false; }
#endif
