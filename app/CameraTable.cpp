#include "CameraTable.h"

namespace cx {

void CameraTable::clear()
{
    count = 0;
    address.clear();
    login.clear();
    password.clear();
    type.clear();
    flipHorizontal.clear();
    flipVertical.clear();
    rtsp.clear();
    address.shrink_to_fit();
    login.shrink_to_fit();
    password.shrink_to_fit();
    type.shrink_to_fit();
    flipHorizontal.shrink_to_fit();
    flipVertical.shrink_to_fit();
    rtsp.shrink_to_fit();
}

void CameraTable::allocate(int n)
{
    const auto size = static_cast<size_t>(n < 0 ? 0 : n);
    address.assign(size, {});
    login.assign(size, {});
    password.assign(size, {});
    type.assign(size, 0);
    flipHorizontal.assign(size, 0);
    flipVertical.assign(size, 0);
    rtsp.assign(size, std::nullopt);
}

std::optional<CameraEntry> CameraTable::entry(int slot) const
{
    const auto i = static_cast<size_t>(slot);
    if (slot < 0 || slot >= count || i >= address.size() || i >= login.size() || i >= password.size() ||
        i >= type.size())
        return std::nullopt;
    return CameraEntry{address[i], login[i], password[i], type[i],
                       i < rtsp.size() ? rtsp[i] : std::optional<RtspSettings>{}};
}

}  // namespace cx
