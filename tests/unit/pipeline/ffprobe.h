// What ffprobe reads from a recorded file: codec tag, frame rate, decoded frames, duration.
#pragma once

#include <cstdio>
#include <string>

struct ProbedVideo {
    bool ok = false;
    std::string codecTag;
    std::string frameRate;
    int frames = -1;
    double duration = -1;
};

// The kinds of a file's streams in order, "video audio"; empty when it cannot be read.
inline std::string probeStreams(const std::string& path)
{
    const std::string cmd =
        "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + path + "' 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return std::string();
    std::string kinds;
    char line[64];
    while (std::fgets(line, sizeof line, p)) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r'))
            l.pop_back();
        kinds += (kinds.empty() ? "" : " ") + l;
    }
    return ::pclose(p) == 0 ? kinds : std::string();
}

// Packets of one stream ("a:0", "v:0") as read from the file; -1 when it cannot be read.
inline int probePackets(const std::string& path, const std::string& stream)
{
    const std::string cmd = "ffprobe -v error -count_packets -select_streams " + stream +
                            " -show_entries stream=nb_read_packets -of csv=p=0 '" + path +
                            "' 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    char line[64] = "";
    const bool read = std::fgets(line, sizeof line, p) != nullptr;
    return ::pclose(p) == 0 && read ? std::atoi(line) : -1;
}

inline ProbedVideo probeVideo(const std::string& path)
{
    ProbedVideo v;
    const std::string cmd = "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                            "stream=codec_tag_string,r_frame_rate,nb_read_frames:format=duration "
                            "-of default=nw=1 '" +
                            path + "' 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return v;
    char line[256];
    while (std::fgets(line, sizeof line, p)) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r'))
            l.pop_back();
        const size_t eq = l.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = l.substr(0, eq), value = l.substr(eq + 1);
        if (key == "codec_tag_string")
            v.codecTag = value;
        else if (key == "r_frame_rate")
            v.frameRate = value;
        else if (key == "nb_read_frames")
            v.frames = std::atoi(value.c_str());
        else if (key == "duration")
            v.duration = std::atof(value.c_str());
    }
    v.ok = ::pclose(p) == 0 && v.frames >= 0;
    return v;
}
