#include "Bands.h"

#include "BandExchange.h"
#include "Process.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

namespace camtag::front {

namespace {

struct Segment {
    size_t bytes;
    bool band;
};

// The frame's bytes in order, each plane cut where the band starts and ends.
std::vector<Segment> Segments(const BandRoute& r) {
    std::vector<Segment> out;
    const size_t w = static_cast<size_t>(r.width);
    auto plane = [&](size_t rowBytes, size_t top, size_t rows, size_t height) {
        for (const Segment s : {Segment{top * rowBytes, false}, Segment{rows * rowBytes, true},
                                Segment{(height - top - rows) * rowBytes, false}})
            if (s.bytes)
                out.push_back(s);
    };
    const size_t top = static_cast<size_t>(r.top), rows = static_cast<size_t>(r.rows);
    const size_t height = static_cast<size_t>(r.height);
    plane(w, top, rows, height);
    plane(w / 2, top / 2, rows / 2, height / 2);
    plane(w / 2, top / 2, rows / 2, height / 2);
    return out;
}

bool Interrupted() {
    return errno == EINTR && !PendingSignal();
}

// Moves exactly `bytes` from pipe `from` to `to`; false when `from` ended or either failed.
bool Move(int from, int to, size_t bytes) {
    while (bytes > 0) {
        const ssize_t n = splice(from, nullptr, to, nullptr, bytes, SPLICE_F_MOVE);
        if (n > 0)
            bytes -= static_cast<size_t>(n);
        else if (n == 0 || !Interrupted())
            return false;
    }
    return true;
}

// As Move, into the pipe that holds the frame, which nothing reads until the frame is in: a full
// one (a frame in pieces far smaller than ffmpeg writes) fails the frame rather than wait forever.
bool Hold(int from, int hold, size_t bytes) {
    bool waiting = false; // input was there when the last move took nothing
    while (bytes > 0) {
        const ssize_t n =
            splice(from, nullptr, hold, nullptr, bytes, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (n > 0) {
            bytes -= static_cast<size_t>(n);
            waiting = false;
        } else if (n == 0 || (errno != EAGAIN && !Interrupted()) || (errno == EAGAIN && waiting)) {
            return false;
        } else if (errno == EAGAIN) {
            pollfd in{from, POLLIN, 0};
            const int ready = poll(&in, 1, -1);
            if (ready < 0 && !Interrupted())
                return false;
            waiting = ready > 0;
        }
    }
    return true;
}

// As Move, to the encoder: one that is gone no longer takes the frame, which is read away.
bool MoveOut(int from, int* to, int discard, size_t bytes, bool* delivered) {
    while (bytes > 0) {
        const ssize_t n = splice(from, nullptr, *to, nullptr, bytes, SPLICE_F_MOVE);
        if (n > 0) {
            bytes -= static_cast<size_t>(n);
        } else if (n < 0 && *to != discard && errno != EINTR) {
            *to = discard;
            *delivered = false;
        } else if (n == 0 || !Interrupted()) {
            return false;
        }
    }
    return true;
}

// Duplicates the next `bytes` of `from` into `copy` and moves them into `keep`.
bool Fork(int from, int copy, int keep, size_t bytes) {
    while (bytes > 0) {
        const ssize_t n = tee(from, copy, bytes, 0);
        if (n > 0) {
            if (!Hold(from, keep, static_cast<size_t>(n)))
                return false;
            bytes -= static_cast<size_t>(n);
        } else if (n == 0 || !Interrupted()) {
            return false;
        }
    }
    return true;
}

// All `size` bytes read from fd (or written to it); false when it ended or failed first.
bool Whole(int fd, void* data, size_t size, bool reading) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = reading ? read(fd, p, size) : write(fd, p, size);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
        } else if (n == 0 || !Interrupted()) {
            return false;
        }
    }
    return true;
}

bool WriteWhole(int fd, const int32_t* data, size_t size) {
    return Whole(fd, const_cast<int32_t*>(data), size, false);
}

bool ReadWhole(int fd, int32_t* data, size_t size) {
    return Whole(fd, data, size, true);
}

// The renderer's answer for a frame of `height` rows: false when it ended, or when the status is
// not known or the next band does not fit, which ends the exchange.
bool ReadAnswer(int fromRenderer, int32_t height, int32_t answer[3]) {
    return ReadWhole(fromRenderer, answer, 3 * sizeof(int32_t)) &&
           (answer[0] == kBandStamped || answer[0] == kBandWantWhole) &&
           BandFits(Band{answer[1], answer[2]}, height);
}

} // namespace

bool HoldsFrame(int hold, size_t frameBytes) {
    // A frame cut at the band's edges and at the pages the decoder filled takes a few pipe
    // buffers more than its pages: room for them, or the decoder's frame would wait on itself.
    const size_t wanted = frameBytes + 16 * 4096;
    if (wanted > INT_MAX)
        return false;
    if (fcntl(hold, F_GETPIPE_SZ) < static_cast<int>(wanted))
        fcntl(hold, F_SETPIPE_SZ, static_cast<int>(wanted));
    const int size = fcntl(hold, F_GETPIPE_SZ);
    return size > 0 && static_cast<size_t>(size) >= wanted;
}

size_t StampFrameInBands(BandRoute& r, int to, bool* delivered) {
    *delivered = to >= 0;
    if (to < 0)
        to = r.discard;
    const size_t frameBytes = static_cast<size_t>(r.width) * static_cast<size_t>(r.height) * 3 / 2;
    const std::vector<Segment> segments = Segments(r);
    // A decoder that ended between frames: the renderer sees its input end there too.
    pollfd next{r.decoded, POLLIN, 0};
    while (poll(&next, 1, -1) < 0)
        if (!Interrupted())
            return 0;
    const int32_t band[2] = {r.top, r.rows};
    if (!(next.revents & POLLIN) || !WriteWhole(r.toRenderer, band, sizeof band))
        return 0;
    size_t taken = 0;
    for (const Segment& s : segments) {
        if (!(s.band ? Fork(r.decoded, r.toRenderer, r.hold, s.bytes)
                     : Hold(r.decoded, r.hold, s.bytes)))
            return taken;
        taken += s.bytes;
    }
    int32_t answer[3];
    if (!ReadAnswer(r.fromRenderer, r.height, answer))
        return 0;
    bool moved = true;
    if (answer[0] == kBandWantWhole) {
        // The module drew outside the band: the frame goes whole, and comes back whole.
        const int32_t whole[2] = {0, r.height};
        if (!WriteWhole(r.toRenderer, whole, sizeof whole) ||
            !Move(r.held, r.toRenderer, frameBytes) ||
            !ReadAnswer(r.fromRenderer, r.height, answer) || answer[0] != kBandStamped)
            return 0;
        moved = MoveOut(r.fromRenderer, &to, r.discard, frameBytes, delivered);
    } else {
        for (const Segment& s : segments) {
            moved =
                moved && (s.band ? MoveOut(r.fromRenderer, &to, r.discard, s.bytes, delivered) &&
                                       Move(r.held, r.discard, s.bytes)
                                 : MoveOut(r.held, &to, r.discard, s.bytes, delivered));
        }
    }
    if (!moved)
        return 0;
    r.top = answer[1];
    r.rows = answer[2];
    return taken;
}

namespace {

// The band's rows of each plane, in the exchange's order, between the frame and `packed`.
void CopyBand(const FramePlanes& f, const Band& band, uint8_t* packed, bool intoFrame) {
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane ? 1 : 0;
        const size_t rowBytes = static_cast<size_t>(f.width >> shift);
        for (int row = band.top >> shift; row < (band.top + band.rows) >> shift; ++row) {
            uint8_t* line = f.data[plane] + static_cast<ptrdiff_t>(row) * f.stride[plane];
            if (intoFrame)
                std::memcpy(line, packed, rowBytes);
            else
                std::memcpy(packed, line, rowBytes);
            packed += rowBytes;
        }
    }
}

} // namespace

bool SendBand(int toRenderer, const FramePlanes& frame, const Band& band,
              std::vector<uint8_t>& scratch) {
    if (!BandFits(band, frame.height))
        return false;
    const size_t bytes = BandBytes(frame.width, band);
    scratch.resize(sizeof(int32_t) * 2 + bytes);
    const int32_t header[2] = {band.top, band.rows};
    std::memcpy(scratch.data(), header, sizeof header);
    CopyBand(frame, band, scratch.data() + sizeof header, false);
    return Whole(toRenderer, scratch.data(), scratch.size(), false);
}

bool TakeBand(int toRenderer, int fromRenderer, const FramePlanes& frame, Band* band,
              std::vector<uint8_t>& scratch) {
    int32_t answer[3];
    if (!ReadAnswer(fromRenderer, frame.height, answer))
        return false;
    Band sent = *band;
    if (answer[0] == kBandWantWhole) {
        // The module drew outside the band: the frame goes whole, and comes back whole.
        sent = Band{0, frame.height};
        if (!SendBand(toRenderer, frame, sent, scratch) ||
            !ReadAnswer(fromRenderer, frame.height, answer) || answer[0] != kBandStamped)
            return false;
    }
    scratch.resize(BandBytes(frame.width, sent));
    if (!Whole(fromRenderer, scratch.data(), scratch.size(), true))
        return false;
    CopyBand(frame, sent, scratch.data(), true);
    *band = Band{answer[1], answer[2]};
    return true;
}

} // namespace camtag::front
