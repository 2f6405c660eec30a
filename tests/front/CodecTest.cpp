// The front's own decoding and encoding give what the ffmpeg commands beside them give: the same
// frames from the same files, the same H.264 stream from the same frames and settings.
#include "Codec.h"
#include "Render.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

using namespace camtag::front;

namespace {

const std::string kData = CAMTAG_TEST_DATA;

std::string Output(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;)
        out.append(buffer, n);
    pclose(p);
    return out;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words)
        out += " '" + w + "'";
    return out;
}

// A frame's planes, row by row, without the strides' padding.
void Append(std::string& out, AVFrame* frame) {
    const FramePlanes p = Planes(frame);
    for (int plane = 0; plane < 3; ++plane)
        for (int row = 0; row < (plane ? p.height / 2 : p.height); ++row)
            out.append(reinterpret_cast<const char*>(p.data[plane] + row * p.stride[plane]),
                       plane ? p.width / 2 : p.width);
}

} // namespace

TEST(Codec, DecodesAsFfmpegDoes) {
    struct Case {
        const char* file;
        long long first, count;
        size_t frames;   // 0: refused
        const char* why; // when refused
    };
    // Only DV in AVI is decoded here: not even what ffmpeg would read.
    const std::string mjpeg = "/tmp/codec-test-mjpeg.avi";
    Output("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=64x48 -frames:v 2 -c:v mjpeg " +
           mjpeg);
    const Case cases[] = {
        {"pal-type2-idx1-ffmpeg.avi", 0, -1, 4, ""},
        {"pal-type2-idx1-ffmpeg.avi", 1, 2, 2, ""},
        // 4:1:1, brought to 4:2:0 field by field
        {"ntsc-type2-idx1-dvgrab-camcorder.avi", 0, -1, 5, ""},
        {"ntsc-type2-idx1-dvgrab-camcorder.avi", 3, 10, 2, ""},
        {"ntsc-camcorder-5frames.dv", 0, -1, 0, "Invalid data"},
        {"no-such-file.avi", 0, -1, 0, "No such file"},
        {"/tmp/codec-test-mjpeg.avi", 0, -1, 0, "its video is not DV"},
    };
    for (const Case& c : cases) {
        const std::string path = c.file[0] == '/' ? c.file : kData + "/" + c.file;
        const auto decoder = NewFrameDecoder();
        ASSERT_TRUE(decoder);
        std::string error, ours;
        const bool started = decoder->Start(path, c.first, c.count, &error);
        EXPECT_EQ(started, c.frames > 0) << c.file << ": " << error;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.file << ": " << error;
        size_t frames = 0;
        for (FramePtr f; started && (f = decoder->Next()); ++frames)
            Append(ours, f.get());
        if (!started)
            continue;
        EXPECT_EQ(decoder->error(), "") << c.file;
        EXPECT_EQ(frames, c.frames) << c.file << " from " << c.first;
        const std::string theirs =
            Output("ffmpeg -nostdin -v error -i '" + path +
                   "' -map 0:v:0 -fps_mode passthrough -vf 'select=gte(n\\," +
                   std::to_string(c.first) + "),scale=interl=1,format=yuv420p' -frames:v " +
                   std::to_string(frames) + " -f rawvideo -pix_fmt yuv420p -");
        EXPECT_TRUE(ours == theirs) << c.file << " from " << c.first << ": " << ours.size()
                                    << " bytes against ffmpeg's " << theirs.size();
    }
    unlink(mjpeg.c_str());
}

TEST(Codec, EncodesAsFfmpegDoes) {
    const std::string input = kData + "/pal-type2-idx1-ffmpeg.avi";
    char raw[] = "/tmp/codec-test-XXXXXX", nut[] = "/tmp/codec-test-XXXXXX";
    const int rawFd = mkstemp(raw), nutFd = mkstemp(nut);
    ASSERT_GE(rawFd, 0);
    ASSERT_GE(nutFd, 0);
    const auto decoder = NewFrameDecoder();
    ASSERT_TRUE(decoder);
    std::string error, frames;
    ASSERT_TRUE(decoder->Start(input, 0, -1, &error)) << error;
    std::vector<FramePtr> decoded;
    for (FramePtr f; (f = decoder->Next());) {
        Append(frames, f.get());
        decoded.push_back(std::move(f));
    }
    ASSERT_EQ(write(rawFd, frames.data(), frames.size()), ssize_t(frames.size()));
    for (const bool deinterlace : {false, true}) {
        const Encoding encoding = EncodingFor(deinterlace);
        const std::string filter = encoding.pictureFilter + ",setsar=16/15";
        ASSERT_EQ(ftruncate(nutFd, 0), 0);
        ASSERT_EQ(lseek(nutFd, 0, SEEK_SET), 0);
        {
            const auto encoder = NewFrameEncoder();
            ASSERT_TRUE(encoder);
            ASSERT_TRUE(encoder->Open(nutFd, 720, 576, 25, 1, filter, encoding.video, &error))
                << error;
            for (const FramePtr& f : decoded)
                ASSERT_TRUE(encoder->Put(f.get(), &error)) << error;
            ASSERT_TRUE(encoder->Finish(&error)) << error;
        }
        // Packet by packet, with the stream's headers.
        const std::string packets = " -c copy -f framemd5 -flags:v +bitexact -";
        const std::string ours =
            Output(std::string("ffmpeg -nostdin -v error -i ") + nut + packets);
        const std::string theirs =
            Output(std::string("ffmpeg -nostdin -v error -f rawvideo -pix_fmt yuv420p -s 720x576 "
                               "-framerate 25 -i ") +
                   raw + " -vf '" + filter + "'" + Joined(encoding.video) +
                   " -f nut - | ffmpeg -v error -i -" + packets);
        EXPECT_NE(ours.find("0,"), std::string::npos) << ours;
        EXPECT_EQ(ours, theirs) << (deinterlace ? "deinterlaced" : "interlaced");
    }
    // A muxer gone: the stream's end cannot be written, and the encoder says so (as the front
    // does, this test takes a broken pipe as an error, not as a signal).
    signal(SIGPIPE, SIG_IGN);
    int gone[2];
    ASSERT_EQ(pipe(gone), 0);
    close(gone[0]);
    const auto encoder = NewFrameEncoder();
    ASSERT_TRUE(encoder);
    const Encoding encoding = EncodingFor(false);
    ASSERT_TRUE(
        encoder->Open(gone[1], 720, 576, 25, 1, encoding.pictureFilter, encoding.video, &error));
    for (const FramePtr& f : decoded)
        ASSERT_TRUE(encoder->Put(f.get(), &error)) << error;
    error.clear();
    EXPECT_FALSE(encoder->Finish(&error));
    EXPECT_NE(error.find("could not be written"), std::string::npos) << error;
    close(gone[1]);
    close(rawFd);
    close(nutFd);
    unlink(raw);
    unlink(nut);
}
