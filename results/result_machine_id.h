// A stable name for this machine that survives renames: the systemd machine
// id, hashed so the stored value is not the id itself (other programs use
// the raw id as a secret-ish key, and a shared store is read by many).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// SHA-256 of bytes, as 64 lower-case hex digits.
std::string result_sha256_hex(std::string_view bytes);

// The machine id read from file (whitespace around it ignored), hashed:
// the first 32 hex digits of SHA-256("numera-machine-id\n" + id). "" when
// the file is missing, unreadable or empty.
std::string result_machine_id_from(const std::filesystem::path& file);

// This machine's: /etc/machine-id, else /var/lib/dbus/machine-id.
// Test seam: NUMERA_TEST_MACHINE_ID_FILE names another file, so tests can
// play a second machine.
std::string result_machine_id();
