#pragma once
// How long a camera's values may be. The camera database builds each
// statement in a buffer of statementBufferSize bytes and doubles every
// single quote; these limits keep the longest statement (a renamed RTSP
// camera's row, every value at its limit and made of quotes) inside it, so
// a value is refused here with its name rather than lost in the store.

#include <cstddef>
#include <string>

namespace cx {

// Counted in bytes of UTF-8: a letter outside ASCII takes 2 to 4.
inline constexpr size_t cameraNameLimit = 48;
inline constexpr size_t cameraHostLimit = 128;
inline constexpr size_t cameraPortLimit = 5;
inline constexpr size_t cameraLoginLimit = 64;
inline constexpr size_t cameraPasswordLimit = 96;
inline constexpr size_t streamPathLimit = 160;

// "The login is too long: at most 64 characters ..." for `field`.
std::string tooLongText(const std::string& field, size_t limit);

// tooLongText when `value` is longer than `limit` bytes; empty otherwise.
std::string lengthProblem(const std::string& field, const std::string& value, size_t limit);

// The first value of a camera row that is too long to be stored, said
// with its field's name and limit; empty when all fit.
std::string cameraLengthProblem(const std::string& name, const std::string& host, const std::string& port,
                                const std::string& login, const std::string& password);

}  // namespace cx
