// The scanner chain. Every scanner runs on the job's thread between
// BeginScanJob and EndScanJob and reports each object through one result entry.
#pragma once

#include <cstdint>
#include <string>

namespace tarvex {

// Hands one block to AmsiScanBuffer and appends exactly one entry for it.
void ScanBufferCore(const std::string& target, const void* buffer, uintptr_t length,
                    int32_t findingsOnly, const std::string& processName,
                    const std::string& processId);

// Content of one file or one named stream ("file:stream").
void ScanStreamContent(const std::string& path, int32_t findingsOnly);

// Every named stream of one file or folder.
void ScanFileStreams(const std::string& path, int32_t findingsOnly);

// Streams of every file and folder below a folder; an empty path walks all
// fixed and removable drives.
void ScanFolderTree(const std::string& folderPath, int32_t findingsOnly);

// Memory of every process whose executable name matches (all for an empty name).
void ScanProcesses(const std::string& executableName, int32_t findingsOnly);

// Committed readable memory of one process.
void ScanProcessMemory(intptr_t processId, const std::string& processName, int32_t findingsOnly);

}  // namespace tarvex
