#include "results/result_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace {

// Shortest text that reads back as the same double.
std::string number(double value) {
    std::array<char, 32> text{};
    const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() ? std::string(text.data(), end) : std::string("0");
}

const char* flag(bool value) { return value ? "true" : "false"; }

struct Column {
    const char* name;
    std::string (*value)(const StoredResult&);
};

const Column columns[] = {
    {"id", [](const StoredResult& s) { return s.id > 0 ? std::to_string(s.id) : std::string(); }},
    {"started_at", [](const StoredResult& s) { return s.record.started_at; }},
    {"mode", [](const StoredResult& s) { return std::string(result_mode_name(s.record.mode)); }},
    {"success", [](const StoredResult& s) { return std::string(flag(s.record.success)); }},
    {"score", [](const StoredResult& s) { return number(s.record.score); }},
    {"elapsed_time", [](const StoredResult& s) { return number(s.record.elapsed_time); }},
    {"digits_calculated", [](const StoredResult& s) { return std::to_string(s.record.digits_calculated); }},
    {"runs", [](const StoredResult& s) { return std::to_string(s.record.runs.size()); }},
    {"workers", [](const StoredResult& s) { return std::to_string(s.record.workers.size()); }},
    {"verdict", [](const StoredResult& s) { return result_verdict(s.record); }},
    {"error_message", [](const StoredResult& s) { return s.record.error_message; }},
    {"version", [](const StoredResult& s) { return s.record.version; }},
    {"engine_transform", [](const StoredResult& s) { return s.record.engine.transform; }},
    {"engine_word_loops", [](const StoredResult& s) { return s.record.engine.word_loops; }},
    {"engine_narrowed", [](const StoredResult& s) { return std::string(flag(s.record.engine.narrowed)); }},
    {"host_name", [](const StoredResult& s) { return s.record.host_name; }},
    {"machine_id", [](const StoredResult& s) { return s.record.machine_id; }},
    {"cpu_model", [](const StoredResult& s) { return s.record.system.cpu_model; }},
    {"cpu_cores_physical", [](const StoredResult& s) { return std::to_string(s.record.system.cpu_cores_physical); }},
    {"cpu_cores_logical", [](const StoredResult& s) { return std::to_string(s.record.system.cpu_cores_logical); }},
    {"cpu_cores_performance",
     [](const StoredResult& s) { return std::to_string(s.record.system.cpu_cores_performance); }},
    {"cpu_cores_efficiency", [](const StoredResult& s) { return std::to_string(s.record.system.cpu_cores_efficiency); }},
    {"cpu_frequency_mhz", [](const StoredResult& s) { return std::to_string(s.record.system.cpu_frequency_mhz); }},
    {"cpu_frequency_p_max_mhz",
     [](const StoredResult& s) { return std::to_string(s.record.system.cpu_frequency_p_max_mhz); }},
    {"cpu_frequency_e_max_mhz",
     [](const StoredResult& s) { return std::to_string(s.record.system.cpu_frequency_e_max_mhz); }},
    {"total_memory_mb", [](const StoredResult& s) { return std::to_string(s.record.system.total_memory_mb); }},
    {"os_name", [](const StoredResult& s) { return s.record.system.os_name; }},
    {"os_version", [](const StoredResult& s) { return s.record.system.os_version; }},
    {"architecture", [](const StoredResult& s) { return s.record.system.architecture; }},
    {"result_id", [](const StoredResult& s) { return s.record.result_id; }},
};

bool write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

std::vector<std::string> result_csv_columns() {
    std::vector<std::string> names;
    for (const Column& c : columns) names.emplace_back(c.name);
    return names;
}

std::string result_csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string result_csv(const std::vector<StoredResult>& results) {
    std::string out;
    for (const Column& c : columns) {
        if (&c != columns) out += ',';
        out += c.name;
    }
    out += "\r\n";
    for (const StoredResult& s : results) {
        for (const Column& c : columns) {
            if (&c != columns) out += ',';
            out += result_csv_field(c.value(s));
        }
        out += "\r\n";
    }
    return out;
}

void result_write_file(const std::filesystem::path& path, const std::string& text) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw std::runtime_error(path.string() + " is a folder, not a file");
    std::string temp = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(errno));
    // mkstemp makes the file private; exports are for reading and sharing.
    bool ok = ::fchmod(fd, 0644) == 0 && write_all(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    const int saved = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = ok ? errno : saved;
        ::unlink(temp.c_str());
        throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(error));
    }
}
