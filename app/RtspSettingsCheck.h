#pragma once
// What an RTSP camera's settings must be before they are stored: the rules
// the camera dialogs and the program-folder tool apply alike.

#include <string>

#include "CameraTable.h"

namespace cx {

inline constexpr const char* rtspMainPathMissingText =
    "Enter the main stream path, for example /Streaming/Channels/101";
inline constexpr const char* rtspMainPathSlashText =
    "The main stream path must start with \"/\", for example /Streaming/Channels/101";
inline constexpr const char* rtspSubPathSlashText =
    "The sub stream path must start with \"/\", for example /Streaming/Channels/102, or be left empty";
inline constexpr const char* rtspMainPathCharactersText =
    "The main stream path cannot hold spaces or control characters";
inline constexpr const char* rtspSubPathCharactersText =
    "The sub stream path cannot hold spaces or control characters";
inline constexpr const char* rtspLoginColonText =
    "The login cannot hold \":\": the stream request ends the login at the first colon, so the camera would "
    "never accept it";
inline constexpr const char* portNumberText = "The port must be a number from 1 to 65535";

// Why the stream paths cannot be requested from a camera, or are too long
// to be stored (CameraFieldLimits.h); empty when they can. Anything else (quotes, "?", "&", "%", letters of any script) is the
// camera's business and is kept as typed.
std::string rtspSettingsProblem(const RtspSettings& settings);

// Why `login` cannot reach an RTSP camera (a colon in it); empty when it can.
std::string rtspLoginProblem(const std::string& login);

// Why `port` is not a port number (decimal digits, 1 to 65535); empty when it is.
std::string portProblem(const std::string& port);

}  // namespace cx
