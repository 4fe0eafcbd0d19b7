#include "RecordingTimeline.h"

#include <algorithm>
#include <cstdlib>

#include "RecordingReader.h"
#include "RecordingTime.h"

namespace cx {

namespace {

// The recorded pace estimated frames continue with: over this much of the
// frames before them.
constexpr int64_t paceWindowMs = 2000;

int64_t positionMs(int64_t positions)
{
    return positions * 1000 / recordingRate;
}

}  // namespace

RecordingTimeline::RecordingTimeline(const std::vector<int64_t>& positions,
                                     const std::optional<std::vector<FrameTimeRecord>>& times,
                                     std::optional<int64_t> nameStartMs)
{
    const size_t n = positions.size();
    wallMs_.assign(n, 0);
    estimated_.assign(n, 1);
    hasFrameTimes_ = times.has_value();

    // The file's records by position relative to its first record, which is
    // the recording's first frame.
    std::vector<FrameTimeRecord> records = times.value_or(std::vector<FrameTimeRecord>{});
    if (!records.empty()) {
        const int64_t first = records.front().position;
        for (auto& r : records) r.position -= first;
        std::stable_sort(records.begin(), records.end(),
                         [](const FrameTimeRecord& a, const FrameTimeRecord& b) { return a.position < b.position; });
    }
    std::vector<int> known;  // frames with a recorded time, in order
    for (size_t k = 0; k < n; ++k) {
        const auto it = std::lower_bound(records.begin(), records.end(), positions[k],
                                         [](const FrameTimeRecord& r, int64_t p) { return r.position < p; });
        if (it != records.end() && it->position == positions[k]) {
            wallMs_[k] = it->wallMs;
            estimated_[k] = 0;
            known.push_back(static_cast<int>(k));
        }
    }

    if (known.empty()) {
        // Today's estimate: the name's start plus the positions.
        timeOfDayKnown_ = nameStartMs.has_value();
        for (size_t k = 0; k < n; ++k) wallMs_[k] = nameStartMs.value_or(0) + positionMs(positions[k]);
    } else {
        timeOfDayKnown_ = true;
        // Milliseconds per frame around known frame `at`, from the known
        // frames within the pace window on the side `direction` of it;
        // nothing when there is no second known frame there.
        const auto paceNear = [&](size_t at, int direction) -> std::optional<double> {
            const auto from = static_cast<size_t>(known[at]);
            std::optional<size_t> other;
            for (size_t j = at; direction < 0 ? j > 0 : j + 1 < known.size();) {
                j = direction < 0 ? j - 1 : j + 1;
                const auto candidate = static_cast<size_t>(known[j]);
                if (other && std::llabs(wallMs_[candidate] - wallMs_[from]) > paceWindowMs) break;
                other = candidate;
            }
            if (!other) return std::nullopt;
            return static_cast<double>(wallMs_[from] - wallMs_[*other]) /
                   (static_cast<double>(from) - static_cast<double>(*other));
        };
        size_t next = 0;  // index into `known` of the first known frame after k
        for (size_t k = 0; k < n; ++k) {
            if (!estimated_[k]) {
                ++next;
                continue;
            }
            const auto kk = static_cast<int64_t>(k);
            if (next > 0 && next < known.size()) {
                // Between two known frames: by position.
                const auto a = static_cast<size_t>(known[next - 1]), b = static_cast<size_t>(known[next]);
                const double part = static_cast<double>(positions[k] - positions[a]) /
                                    static_cast<double>(std::max<int64_t>(positions[b] - positions[a], 1));
                wallMs_[k] = wallMs_[a] + static_cast<int64_t>(part * static_cast<double>(wallMs_[b] - wallMs_[a]));
                continue;
            }
            const size_t at = next > 0 ? next - 1 : 0;  // the nearest known frame
            const auto from = static_cast<size_t>(known[at]);
            const std::optional<double> pace = paceNear(at, next > 0 ? -1 : 1);
            const int64_t after = kk - static_cast<int64_t>(from);
            if (pace) {
                wallMs_[k] = wallMs_[from] + static_cast<int64_t>(*pace * static_cast<double>(after));
            } else {
                wallMs_[k] = wallMs_[from] + positionMs(positions[k] - positions[from]);
                // A tail after the only known frame (a crash before the
                // second batch) was lost with one batch at most: it fits
                // within one batch's span, whatever the positions say.
                if (next == known.size()) {
                    const auto tail = static_cast<int64_t>(n) - 1 - static_cast<int64_t>(from);
                    wallMs_[k] = std::min(wallMs_[k], wallMs_[from] + after * frameTimesBatchMs / tail);
                }
            }
        }
    }

    setOffsets();
}

void RecordingTimeline::setOffsets()
{
    offsets_.resize(wallMs_.size());
    int64_t highest = 0;
    for (size_t k = 0; k < wallMs_.size(); ++k) {
        highest = std::max(highest, wallMs_[k] - wallMs_.front());
        offsets_[k] = highest;
    }
}

RecordingTimeline RecordingTimeline::fromTimeStamps(const std::vector<int64_t>& stampsMs,
                                                    std::optional<int64_t> firstFrameMs,
                                                    std::optional<int64_t> nameStartMs)
{
    RecordingTimeline t;
    const std::optional<int64_t> start = firstFrameMs ? firstFrameMs : nameStartMs;
    t.hasFrameTimes_ = firstFrameMs.has_value();
    t.timeOfDayKnown_ = start.has_value();
    t.estimated_.assign(stampsMs.size(), t.hasFrameTimes_ ? 0 : 1);
    t.wallMs_.reserve(stampsMs.size());
    for (const int64_t stamp : stampsMs) t.wallMs_.push_back(start.value_or(0) + stamp);
    t.setOffsets();
    return t;
}

RecordingTimeline RecordingTimeline::load(const std::filesystem::path& file, const std::vector<int64_t>& positions)
{
    std::optional<int64_t> nameStart;
    if (const auto start = parseRecordingName(file.filename().string())) nameStart = recordingStartMs(*start);
    return RecordingTimeline(positions, readFrameTimes(file), nameStart);
}

int64_t RecordingTimeline::wallMs(int k) const
{
    if (k < 0 || k >= frameCount()) return 0;
    return wallMs_[static_cast<size_t>(k)];
}

bool RecordingTimeline::estimated(int k) const
{
    if (k < 0 || k >= frameCount()) return true;
    return estimated_[static_cast<size_t>(k)] != 0;
}

int64_t RecordingTimeline::offsetMs(int k) const
{
    if (k < 0 || k >= frameCount()) return 0;
    return offsets_[static_cast<size_t>(k)];
}

int RecordingTimeline::frameAt(int64_t offset) const
{
    if (offsets_.empty()) return -1;
    const auto it = std::upper_bound(offsets_.begin(), offsets_.end(), offset);
    if (it == offsets_.begin()) return 0;
    return static_cast<int>(it - offsets_.begin()) - 1;
}

int64_t RecordingTimeline::holdMs(int from, int to) const
{
    if (from < 0 || to < 0 || from >= frameCount() || to >= frameCount()) return 0;
    return std::min<int64_t>(std::llabs(wallMs(to) - wallMs(from)), maxHoldMs);
}

}  // namespace cx
