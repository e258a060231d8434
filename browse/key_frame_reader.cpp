#include "browse/key_frame_reader.h"

#include "browse/av_handles.h"
#include "browse/video_budget.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

namespace
{
// A key frame is at most this many packets after the seek point; more means a broken file.
constexpr int kPacketLimit = 256;

bool toBgr(const AVFrame& f, cv::Mat& out)
{
    if ((f.format != AV_PIX_FMT_YUV420P && f.format != AV_PIX_FMT_YUVJ420P) || f.width % 2 ||
        f.height % 2 || f.width <= 0 || f.height <= 0)
        return false;
    const int w = f.width, h = f.height;
    cv::Mat i420(h * 3 / 2, w, CV_8UC1);
    uint8_t* to = i420.data;
    for (int y = 0; y < h; ++y, to += w)
        std::memcpy(to, f.data[0] + static_cast<ptrdiff_t>(y) * f.linesize[0], size_t(w));
    for (int plane = 1; plane <= 2; ++plane)
        for (int y = 0; y < h / 2; ++y, to += w / 2)
            std::memcpy(to, f.data[plane] + static_cast<ptrdiff_t>(y) * f.linesize[plane],
                        size_t(w / 2));
    cv::Mat bgr;
    cv::cvtColor(i420, bgr, cv::COLOR_YUV2BGR_I420);
    out = bgr;
    return true;
}
} // namespace

struct KeyFrameReader::Impl {
    AvInput input;
    AvCodec codec;
    AvPacket packet{av_packet_alloc()};
    AvFrame frame{av_frame_alloc()};
    int stream = -1;
    AVRational rate{0, 1};
    int64_t start = 0;

    int64_t frameToPts(int i) const
    {
        const AVRational base = input->streams[stream]->time_base;
        return start + av_rescale_q(i, av_inv_q(rate), base);
    }
    int ptsToFrame(int64_t pts) const
    {
        const AVRational base = input->streams[stream]->time_base;
        // Rounded: a container's clock may put a frame a tick off its nominal time.
        const int64_t t = pts - start;
        return static_cast<int>(
            av_rescale_q_rnd(t, base, av_inv_q(rate), AVRounding(AV_ROUND_NEAR_INF)));
    }
    bool receive() { return avcodec_receive_frame(codec.get(), frame.get()) == 0; }
};

KeyFrameReader::KeyFrameReader() = default;
KeyFrameReader::~KeyFrameReader() = default;

bool KeyFrameReader::open(const std::string& path)
{
    close();
    auto impl = std::make_unique<Impl>();
    if (!impl->packet || !impl->frame || !videoWithinBudget(path))
        return false;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return false;
    impl->input.reset(raw);
    // AVI and MOV carry the stream's parameters in their headers: probing by decoding, as the
    // stream-info search does, would cost more than every key frame of a drag.
    const int s = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (s < 0)
        return false;
    const AVStream* st = raw->streams[s];
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    if (!decoder)
        return false;
    impl->codec.reset(avcodec_alloc_context3(decoder));
    if (!impl->codec || avcodec_parameters_to_context(impl->codec.get(), st->codecpar) < 0)
        return false;
    // Slices only: frame threads would hold back the one frame wanted behind others.
    impl->codec->thread_type = FF_THREAD_SLICE;
    // A later frame may claim more than the first ones did: the decoder refuses it.
    impl->codec->max_pixels = kMaxVideoPixels;
    if (avcodec_open2(impl->codec.get(), decoder, nullptr) < 0)
        return false;
    impl->rate = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate
                                                                          : st->r_frame_rate;
    if (impl->rate.num <= 0 || impl->rate.den <= 0)
        return false;
    impl->start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    impl->stream = s;
    m_impl = std::move(impl);
    return true;
}

void KeyFrameReader::close()
{
    m_impl.reset();
}

int KeyFrameReader::read(int frame, cv::Mat& out)
{
    if (!m_impl)
        return -1;
    Impl& d = *m_impl;
    if (av_seek_frame(d.input.get(), d.stream, d.frameToPts(frame < 0 ? 0 : frame),
                      AVSEEK_FLAG_BACKWARD) < 0)
        return -1;
    avcodec_flush_buffers(d.codec.get());
    bool got = false;
    for (int n = 0; n < kPacketLimit && !got; ++n) {
        if (av_read_frame(d.input.get(), d.packet.get()) < 0) {
            avcodec_send_packet(d.codec.get(), nullptr); // the end: what the decoder holds
            got = d.receive();
            break;
        }
        if (d.packet->stream_index == d.stream &&
            avcodec_send_packet(d.codec.get(), d.packet.get()) >= 0)
            got = d.receive();
        av_packet_unref(d.packet.get());
    }
    if (!got)
        return -1;
    const int64_t pts = d.frame->best_effort_timestamp != AV_NOPTS_VALUE
                            ? d.frame->best_effort_timestamp
                            : d.frame->pts;
    if (!toBgr(*d.frame, out))
        return -1;
    return pts == AV_NOPTS_VALUE ? frame : std::max(d.ptsToFrame(pts), 0);
}
