#include "ButtonPoints.h"

namespace cx {

SkinPoint ButtonPoints::at(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= points_.size()) return {};
    return points_[static_cast<size_t>(index)];
}

void ButtonPoints::reset(int32_t declared)
{
    declared_ = declared;
    points_.clear();
}

}  // namespace cx
