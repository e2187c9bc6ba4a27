// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>

inline constexpr const char* kProgramTitle = "Pellisk";

// "Error <number> (<description>) in procedure <procedure> of Form frmMain on line <step>"
std::string FormatErrorReport(int number, const char* description, const char* procedure, int step);
