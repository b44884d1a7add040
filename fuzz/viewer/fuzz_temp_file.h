// Scratch directory and file for fuzz targets whose code under test reads a
// named file: one directory per process, removed at exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The process's scratch directory (made on first use).
const std::string& fuzzScratchDir();

// Writes bytes to <scratch>/<name> (replacing it) and returns the path;
// aborts if the file cannot be written (the harness, not the input, failed).
std::string writeFuzzFile(const char* name, const std::uint8_t* data, std::size_t size);
