#include "GridShape.h"

namespace cx {

bool computeGridShape(int cameras, GridShape& shape)
{
    if (cameras < 1 || cameras > 16) return false;
    if (cameras <= 4) shape = {2, 2};
    else if (cameras <= 6) shape = {3, 2};
    else if (cameras <= 9) shape = {3, 3};
    else if (cameras <= 12) shape = {4, 3};
    else shape = {4, 4};
    return true;
}

}  // namespace cx
