// What every numera-cli command prints about the machine and the engine,
// as text lines and as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_path.h"
#include "sysinfo/system_info.h"

#ifndef NUMERA_VERSION
#define NUMERA_VERSION "0"
#endif

// The machine facts as labelled lines, in the order of the app's card.
std::vector<std::pair<std::string, std::string>> system_lines(const SystemInfo& info);

// Prints the facts and the "Engine:" line, labels padded to one column.
void print_machine(const SystemInfo& info, const PiEnginePath& path);

nlohmann::json system_json(const SystemInfo& info);
nlohmann::json engine_json(const PiEnginePath& path);

// Indented JSON; bytes that are not UTF-8 (kernel texts may hold any) are
// replaced instead of failing.
std::string json_dump(const nlohmann::json& j);
