#include "CameraFieldLimits.h"

namespace cx {

std::string tooLongText(const std::string& field, size_t limit)
{
    return "The " + field + " is too long: at most " + std::to_string(limit) +
           " characters (a letter outside ASCII counts as 2 to 4)";
}

std::string lengthProblem(const std::string& field, const std::string& value, size_t limit)
{
    return value.size() > limit ? tooLongText(field, limit) : std::string();
}

std::string cameraLengthProblem(const std::string& name, const std::string& host, const std::string& port,
                                const std::string& login, const std::string& password)
{
    const struct {
        const char* field;
        const std::string& value;
        size_t limit;
    } values[] = {
        {"camera name", name, cameraNameLimit},   {"host", host, cameraHostLimit},
        {"port", port, cameraPortLimit},          {"login", login, cameraLoginLimit},
        {"password", password, cameraPasswordLimit},
    };
    for (const auto& v : values)
        if (std::string why = lengthProblem(v.field, v.value, v.limit); !why.empty()) return why;
    return {};
}

}  // namespace cx
