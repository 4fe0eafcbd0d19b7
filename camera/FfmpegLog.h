#pragma once
// FFmpeg's own log lines go to our debug channel instead of standard
// error: warnings and errors only, and with any login taken out of the
// URLs they name (an RTSP URL carries the camera's password).

#include <string>

namespace cx {

// Installs the route once per process; later calls do nothing.
void routeFfmpegLog();

// `text` with "user:password@" removed from every "scheme://" in it.
std::string withoutCredentials(std::string text);

}  // namespace cx
