// Binary-protocol answers are untrusted: 4-byte codes and 32-byte image
// headers whose fields are ASCII decimal. Bytes after the header stand for
// the credentials of a login ("login\npassword"), which come from the
// camera table and may be anything too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ProtocolCamera.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Copies of exactly the field's size, so a read past it is caught.
    if (size >= static_cast<size_t>(cx::MESSAGE_PACKET_LENGTH)) {
        const std::vector<uint8_t> field(data, data + cx::MESSAGE_PACKET_LENGTH);
        const int code = cx::messageCode(field.data());
        if (code < -999 || code > 9999) __builtin_trap();  // four characters, a sign included
    }
    if (size < static_cast<size_t>(cx::IMAGE_HEADER_LENGTH)) return 0;
    const std::vector<uint8_t> header(data, data + cx::IMAGE_HEADER_LENGTH);
    const cx::ImageHeader h = cx::parseImageHeader(header.data());
    if (h.code < -999 || h.code > 9999) __builtin_trap();
    if (h.size < -9999999 || h.size > 99999999) __builtin_trap();  // eight characters

    const std::string rest(reinterpret_cast<const char*>(data) + cx::IMAGE_HEADER_LENGTH,
                           size - cx::IMAGE_HEADER_LENGTH);
    const size_t lf = rest.find('\n');
    const std::string login = rest.substr(0, lf);
    const std::string password = lf == std::string::npos ? std::string() : rest.substr(lf + 1);
    const auto message = cx::buildLoginMessage(login, password);
    const bool fits = login.size() <= cx::maxCredentialLength && password.size() <= cx::maxCredentialLength;
    if (message.has_value() != fits) __builtin_trap();
    if (message) {
        if (cx::messageCode(message->data()) != cx::loginMessageCode) __builtin_trap();
        if (std::memcmp(message->data() + 16, login.data(), login.size()) != 0) __builtin_trap();
        if (std::memcmp(message->data() + 32, password.data(), password.size()) != 0) __builtin_trap();
        // Unused bytes of both fields are zero, so the camera sees where each ends.
        for (size_t k = login.size(); k < 16; ++k)
            if ((*message)[16 + k] != 0) __builtin_trap();
        for (size_t k = 32 + password.size(); k < message->size(); ++k)
            if ((*message)[k] != 0) __builtin_trap();
    }
    return 0;
}
