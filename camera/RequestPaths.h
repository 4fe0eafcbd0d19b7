#pragma once
// HTTP request paths per camera model. Built once before the workers
// start (UI thread), only read while they run.

#include <array>
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

// The process-wide table.
RequestPathTable& requestPathTable();

void BuildRequestPaths(RequestPathTable& table = requestPathTable());
// Forgets codes and paths (audio paths and PTZ lists stay).
void ResetRequestPaths(RequestPathTable& table = requestPathTable());
// Path of the first entry serving `code`; empty when none.
std::string LookupVideoPath(CameraType code, const RequestPathTable& table = requestPathTable());
std::string LookupAudioPath(CameraType code, const RequestPathTable& table = requestPathTable());

}  // namespace cx
