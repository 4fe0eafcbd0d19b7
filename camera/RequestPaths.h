#pragma once
// HTTP request paths per camera model. The process-wide table is an
// immutable snapshot: building or resetting makes a new table and swaps it
// in whole, so a worker looking a path up on another thread sees either
// the old table or the new one, never one half written.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "CameraModels.h"

namespace cx {

struct RequestPathEntry {
    CameraType code = -1;
    std::string path;
    std::vector<std::string> ptzCommands;  // kept with the table, never sent
    std::string audioPath;
};

inline constexpr size_t requestPathEntries = 200;
using RequestPathTable = std::array<RequestPathEntry, requestPathEntries>;

// The process-wide table as it is now; it never changes once returned.
std::shared_ptr<const RequestPathTable> currentRequestPaths();

// Fill the process-wide table (first form) or `table`.
void BuildRequestPaths();
void BuildRequestPaths(RequestPathTable& table);
// Forgets codes and paths (audio paths and PTZ lists stay).
void ResetRequestPaths();
void ResetRequestPaths(RequestPathTable& table);
// Path of the first entry serving `code`; empty when none. Without a
// table argument the process-wide table is read; any thread may call.
std::string LookupVideoPath(CameraType code);
std::string LookupVideoPath(CameraType code, const RequestPathTable& table);
std::string LookupAudioPath(CameraType code);
std::string LookupAudioPath(CameraType code, const RequestPathTable& table);

}  // namespace cx
