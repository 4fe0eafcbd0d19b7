// The floor for recording RTSP cameras: receiving every stream with
// FFmpeg's RTSP demuxer (TCP interleaved) and writing each packet's bytes
// straight to a file, one thread per stream, no container. Its own CPU
// time is what the benchmark reads from /proc.
//
//   cx-rtsp-floor SECONDS OUTPUT-FOLDER URL...
//   prints the packets it wrote.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: cx-rtsp-floor SECONDS OUTPUT-FOLDER URL...\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const std::string folder = argv[2];
    std::atomic<bool> stop{false};
    std::atomic<long long> packets{0};
    std::vector<std::thread> readers;
    for (int k = 3; k < argc; ++k) {
        readers.emplace_back([&, k] {
            AVFormatContext* input = nullptr;
            AVDictionary* options = nullptr;
            av_dict_set(&options, "rtsp_transport", "tcp", 0);
            const int opened = avformat_open_input(&input, argv[k], nullptr, &options);
            av_dict_free(&options);
            if (opened < 0) return;
            const std::string out = folder + "/floor-" + std::to_string(k);
            const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            AVPacket* packet = av_packet_alloc();
            while (!stop && av_read_frame(input, packet) >= 0) {
                if (write(file, packet->data, static_cast<size_t>(packet->size)) == packet->size) ++packets;
                av_packet_unref(packet);
            }
            av_packet_free(&packet);
            close(file);
            avformat_close_input(&input);
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& t : readers) t.join();
    std::printf("%lld\n", packets.load());
    return 0;
}
