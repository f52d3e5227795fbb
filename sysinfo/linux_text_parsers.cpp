#include "sysinfo/linux_text_parsers.h"

#include <charconv>
#include <limits>

#include "sysinfo/linux_arm_cores.h"

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Splits off the next line (without its newline) and advances `text`.
std::string_view next_line(std::string_view& text) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

// Whole-text number in the given base, nothing before or after it.
template <typename T>
std::optional<T> parse_exact(std::string_view text, int base) {
    if (text.empty()) {
        return std::nullopt;
    }
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<uint32_t> parse_hex_field(std::string_view text) {
    text = trim(text);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    return parse_exact<uint32_t>(text, 16);
}

}  // namespace

std::optional<std::vector<int32_t>> sysinfo_parse_cpu_list(std::string_view text) {
    text = trim(text);
    std::vector<bool> present(static_cast<size_t>(sysinfo_max_cpu_number) + 1, false);
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
        if (comma != std::string_view::npos && text.empty()) {
            return std::nullopt;  // trailing comma
        }
        const size_t dash = item.find('-');
        const auto first = parse_exact<int32_t>(item.substr(0, dash), 10);
        const auto last = dash == std::string_view::npos ? first : parse_exact<int32_t>(item.substr(dash + 1), 10);
        if (!first || !last || *first < 0 || *last < *first || *last > sysinfo_max_cpu_number) {
            return std::nullopt;
        }
        for (int32_t cpu = *first; cpu <= *last; ++cpu) {
            present[static_cast<size_t>(cpu)] = true;
        }
    }
    std::vector<int32_t> cpus;
    for (size_t cpu = 0; cpu < present.size(); ++cpu) {
        if (present[cpu]) {
            cpus.push_back(static_cast<int32_t>(cpu));
        }
    }
    return cpus;
}

std::optional<int64_t> sysinfo_parse_integer(std::string_view text) {
    return parse_exact<int64_t>(trim(text), 10);
}

std::optional<int64_t> sysinfo_parse_hex_integer(std::string_view text) {
    text = trim(text);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    // from_chars would take a sign.
    if (!text.empty() && text.front() == '-') {
        return std::nullopt;
    }
    return parse_exact<int64_t>(text, 16);
}

std::optional<std::string_view> sysinfo_cpuinfo_value(std::string_view cpuinfo, std::string_view key) {
    while (!cpuinfo.empty()) {
        const std::string_view line = next_line(cpuinfo);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        if (trim(line.substr(0, colon)) == key) {
            return trim(line.substr(colon + 1));
        }
    }
    return std::nullopt;
}

std::optional<std::string> sysinfo_arm_cpu_name(std::string_view cpuinfo) {
    struct CoreKind {
        uint32_t implementer;
        uint32_t part;
    };
    std::vector<CoreKind> kinds;
    std::optional<uint32_t> implementer;
    while (!cpuinfo.empty()) {
        const std::string_view line = next_line(cpuinfo);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view key = trim(line.substr(0, colon));
        const std::string_view value = line.substr(colon + 1);
        if (key == "CPU implementer") {
            implementer = parse_hex_field(value);
            if (!implementer) {
                return std::nullopt;
            }
        } else if (key == "CPU part") {
            const auto part = parse_hex_field(value);
            if (!implementer || !part) {
                return std::nullopt;
            }
            bool seen = false;
            for (const CoreKind& kind : kinds) {
                seen = seen || (kind.implementer == *implementer && kind.part == *part);
            }
            if (!seen) {
                kinds.push_back({*implementer, *part});
            }
        }
    }
    if (kinds.empty()) {
        return std::nullopt;
    }
    std::string name;
    const char* previous_vendor = nullptr;
    for (const CoreKind& kind : kinds) {
        const ArmCoreName* known = sysinfo_find_arm_core(kind.implementer, kind.part);
        if (known == nullptr) {
            return std::nullopt;
        }
        if (!name.empty()) {
            name += " + ";
        }
        // The vendor once per run of cores from the same vendor.
        if (previous_vendor == nullptr || std::string_view(previous_vendor) != known->vendor) {
            name += known->vendor;
            name += ' ';
            previous_vendor = known->vendor;
        }
        name += known->core;
    }
    return name;
}

std::optional<int64_t> sysinfo_meminfo_total_bytes(std::string_view meminfo) {
    constexpr std::string_view label = "MemTotal:";
    while (!meminfo.empty()) {
        const std::string_view line = next_line(meminfo);
        if (line.substr(0, label.size()) != label) {
            continue;
        }
        std::string_view rest = trim(line.substr(label.size()));
        size_t digits = 0;
        while (digits < rest.size() && !is_blank(rest[digits])) {
            ++digits;
        }
        const auto kibibytes = parse_exact<int64_t>(rest.substr(0, digits), 10);
        if (!kibibytes || *kibibytes < 0 || trim(rest.substr(digits)) != "kB" ||
            *kibibytes > std::numeric_limits<int64_t>::max() / 1024) {
            return std::nullopt;
        }
        return *kibibytes * 1024;
    }
    return std::nullopt;
}

namespace {

// Reads a double-quoted os-release value starting after the opening quote;
// nullopt when the closing quote is missing.
std::optional<std::string> unquote_double(std::string_view text) {
    std::string value;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            return value;
        }
        if (c == '\\' && i + 1 < text.size()) {
            const char escaped = text[i + 1];
            if (escaped == '"' || escaped == '\\' || escaped == '$' || escaped == '`') {
                value += escaped;
                ++i;
                continue;
            }
        }
        value += c;
    }
    return std::nullopt;
}

std::optional<std::string> os_release_line_value(std::string_view raw) {
    const std::string_view text = trim(raw);
    if (text.empty()) {
        return std::string();
    }
    if (text.front() == '"') {
        return unquote_double(text.substr(1));
    }
    if (text.front() == '\'') {
        const size_t close = text.find('\'', 1);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        return std::string(text.substr(1, close - 1));
    }
    return std::string(text);
}

}  // namespace

std::optional<std::string> sysinfo_os_release_value(std::string_view os_release, std::string_view key) {
    std::optional<std::string> found;
    while (!os_release.empty()) {
        const std::string_view line = trim(next_line(os_release));
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || line.substr(0, equals) != key) {
            continue;
        }
        if (auto value = os_release_line_value(line.substr(equals + 1))) {
            found = std::move(value);
        }
    }
    return found;
}
