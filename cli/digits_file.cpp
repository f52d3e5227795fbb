#include "cli/digits_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "engine/hp_number.h"

void PiDigits::assign(const HpNumber* pi, int32_t words, uint32_t R) {
    words_.assign(pi->words, pi->words + (words > 0 ? words : 0));
    radix_ = R;
}

std::string PiDigits::text() const {
    if (words_.empty()) return {};
    int L = 0;
    for (uint32_t r = radix_; r > 1; r /= 10) ++L;
    std::string out = std::to_string(words_[0]) + ".";
    out.reserve(2 + words_.size() * static_cast<size_t>(L));
    char word[4];
    for (size_t i = 1; i < words_.size(); ++i) {
        int w = words_[i];
        for (int d = L - 1; d >= 0; --d, w /= 10) word[d] = static_cast<char>('0' + w % 10);
        out.append(word, static_cast<size_t>(L));
    }
    return out;
}

namespace {

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

bool check_digits_destination(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    std::error_code ec;
    if (path.empty() || fs::is_directory(target, ec)) {
        *error = "--digits-out: " + path + " is a folder, not a file";
        return false;
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec)) {
        *error = "--digits-out: the folder " + folder.string() + " does not exist";
        return false;
    }
    // The temporary file is made in the same folder, so it must take new files.
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        *error = "--digits-out: cannot write in " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool write_digits_file(const std::string& path, const PiDigits& digits, std::string* error) {
    if (digits.empty()) {
        *error = "no verified digits to write";
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        *error = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string body = digits.text() + "\n";
    // mkstemp makes the file private; digits are for everyone to read.
    bool ok = ::fchmod(fd, 0644) == 0 && write_all(fd, body.data(), body.size()) && ::fsync(fd) == 0;
    const int saved = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        *error = "cannot write " + path + ": " + std::strerror(ok ? errno : saved);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}
