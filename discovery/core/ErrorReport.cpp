// SPDX-License-Identifier: Apache-2.0
#include "core/ErrorReport.h"

std::string FormatErrorReport(int number, const char* description, const char* procedure,
                              int step) {
    std::string text = "Error ";
    text += std::to_string(number);
    text += " (";
    text += description == nullptr ? "" : description;
    text += ") in procedure ";
    text += procedure;
    text += " of Form frmMain on line ";
    text += std::to_string(step);
    return text;
}
