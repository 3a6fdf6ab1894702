#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/rom_info.h"

// Writes the text as it is, then flushes.
void printText(std::ostream& stream, std::string_view text);

// Writes one console line: the text, a single newline, then a flush, so that
// lines on standard output and standard error keep their order on one console.
void printLine(std::ostream& stream, std::string_view text);

// The usage text, naming the program as it was started; its command lines come
// from the command table.
void printUsage(const std::string& program);

// "Quillon Studio 2.0.0", the name and version --version prints.
void printVersion(const std::string& program);

// The lines of the --inspect report for the path as typed.
std::vector<std::string> inspectionReport(const std::string& path, const RomInfo& info);

// Shows the information window; false where the platform has none.
bool showDesktopWindow(int argc, char** argv);

// Shows the lines of a report in a window; false where the platform has none.
bool showReportWindow(const std::vector<std::string>& lines);
