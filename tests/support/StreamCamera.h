#pragma once
// A simulated MJPEG stream camera that answers where camera model 101
// asks for its stream, at `fps` pictures a second.

#include <string>

#include "CameraSimulator.h"

namespace cx::test {

inline sim::CameraConfig model101Stream(double fps)
{
    sim::CameraConfig camera;
    camera.kind = sim::CameraKind::Stream;
    camera.path = "/axis-cgi/mjpg/video.cgi?showlength=1";
    camera.fps = fps;
    return camera;
}

}  // namespace cx::test
