// What every numera-cli command prints about the machine and the engine as
// text lines (their JSON is the results layer's).
#pragma once

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
