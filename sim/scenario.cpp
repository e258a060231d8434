#include "sim/scenario.h"

#include "platform/bounded_file.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>

namespace scopesim
{

namespace
{

struct Word {
    std::string text;
    bool quoted = false;
};

// Splits a line into words; a quoted "name with blanks" is one word; '#' outside quotes
// ends the line. False with a problem text on a malformed line.
bool splitWords(const std::string& line, std::vector<Word>& words, std::string& problem)
{
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#')
            break;
        Word w;
        if (c == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                problem = "missing closing quote";
                return false;
            }
            w.text = line.substr(i + 1, end - i - 1);
            w.quoted = true;
            i = end + 1;
            if (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#') {
                problem = "a quoted word must be followed by a blank";
                return false;
            }
        } else {
            size_t start = i;
            while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                if (line[i] == '"') {
                    problem = "stray quote inside '" + line.substr(start, i - start) + "'";
                    return false;
                }
                if (line[i] == '#')
                    break;
                ++i;
            }
            w.text = line.substr(start, i - start);
        }
        if (w.text.find('\0') != std::string::npos) {
            problem = "NUL character in a word";
            return false;
        }
        words.push_back(std::move(w));
    }
    return true;
}

bool parseHex(const std::string& s, int maxDigits, uint32_t& out)
{
    if (s.empty() || static_cast<int>(s.size()) > maxDigits)
        return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), out, 16);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool parseDecimal(const std::string& s, uint32_t maxValue, uint32_t& out)
{
    if (s.empty() || s.size() > 10)
        return false;
    uint64_t v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || v > maxValue)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool parseSize(const std::string& s, FrameSize& out)
{
    size_t x = s.find('x');
    if (x == std::string::npos)
        return false;
    uint32_t w = 0, h = 0;
    if (!parseDecimal(s.substr(0, x), 8192, w) || !parseDecimal(s.substr(x + 1), 8192, h))
        return false;
    if (w < 16 || h < 16 || w % 2 || h % 2)
        return false;
    out = {static_cast<int>(w), static_cast<int>(h)};
    return true;
}

// Reads the words of one line in order, with uniform messages.
class Cursor
{
public:
    explicit Cursor(const std::vector<Word>& words) : m_words(words) {}
    bool done() const { return m_pos >= m_words.size(); }
    const Word& next() { return m_words[m_pos++]; }
    bool value(const std::string& after, Word& out, std::string& problem)
    {
        if (done()) {
            problem = "'" + after + "' needs a value";
            return false;
        }
        out = next();
        return true;
    }

private:
    const std::vector<Word>& m_words;
    size_t m_pos = 0;
};

bool takeName(Cursor& c, const std::string& what, std::string& name, std::string& problem)
{
    Word w;
    if (c.done()) {
        problem = "'" + what + "' needs a quoted name";
        return false;
    }
    w = c.next();
    if (!w.quoted) {
        problem = "'" + what + "' needs a quoted name, not '" + w.text + "'";
        return false;
    }
    if (w.text.empty()) {
        problem = "empty name";
        return false;
    }
    name = w.text;
    return true;
}

bool takeHex(Cursor& c, const std::string& key, int digits, uint32_t& out, std::string& problem)
{
    Word w;
    if (!c.value(key, w, problem))
        return false;
    if (w.quoted || !parseHex(w.text, digits, out)) {
        problem = "bad hex number '" + w.text + "' after '" + key + "' (expected " +
                  std::string(static_cast<size_t>(digits), 'H') + ")";
        return false;
    }
    return true;
}

bool takeClass(Cursor& c, const char* key, uint8_t (&out)[3], std::string& problem)
{
    Word w;
    if (!c.value(key, w, problem))
        return false;
    std::vector<std::string> parts;
    std::stringstream ss(w.text);
    for (std::string p; std::getline(ss, p, '/');)
        parts.push_back(p);
    uint32_t v[3];
    if (parts.size() != 3 || w.text.back() == '/' || !parseHex(parts[0], 2, v[0]) ||
        !parseHex(parts[1], 2, v[1]) || !parseHex(parts[2], 2, v[2])) {
        problem = "bad " + std::string(key) + " '" + w.text + "' (expected CC/SS/PP in hex)";
        return false;
    }
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<uint8_t>(v[i]);
    return true;
}

bool takeSizes(Cursor& c, DeviceSpec& d, std::string& problem)
{
    Word w;
    if (!c.value("size", w, problem))
        return false;
    d.sizes.clear();
    std::stringstream ss(w.text);
    for (std::string p; std::getline(ss, p, ',');) {
        FrameSize s;
        if (!parseSize(p, s)) {
            problem = "bad size '" + p + "' (expected WxH, even numbers from 16 to 8192)";
            return false;
        }
        d.sizes.push_back(s);
    }
    if (d.sizes.empty() || w.text.back() == ',') {
        problem = "bad size '" + w.text + "'";
        return false;
    }
    return true;
}

bool takeAbsent(Cursor& c, DeviceSpec& d, std::string& problem)
{
    Word w;
    if (!c.value("absent", w, problem))
        return false;
    std::stringstream ss(w.text);
    for (std::string p; std::getline(ss, p, ',');) {
        uint32_t sel = 0;
        if (!parseDecimal(p, 5, sel) || sel < 1) {
            problem = "bad control '" + p + "' after 'absent' (expected 1..5)";
            return false;
        }
        d.absentControls.push_back(static_cast<int>(sel));
    }
    if (d.absentControls.empty() || w.text.back() == ',') {
        problem = "bad control list '" + w.text + "'";
        return false;
    }
    return true;
}

bool onOff(const Word& w, const char* yes, const char* no, bool& out)
{
    if (w.quoted)
        return false;
    if (w.text == yes)
        out = true;
    else if (w.text == no)
        out = false;
    else
        return false;
    return true;
}

// "bus N" and "formats yuyv,mjpeg": how a video input streams.
bool takeStreamWord(Cursor& c, const std::string& k, DeviceSpec& d, std::string& problem)
{
    Word w;
    if (!c.value(k, w, problem))
        return false;
    if (k == "bus") {
        uint32_t v = 0;
        if (!parseDecimal(w.text, 127, v) || v < 1) {
            problem = "bad bus '" + w.text + "' (expected 1..127)";
            return false;
        }
        d.bus = static_cast<int>(v);
        return true;
    }
    if (w.text == "yuyv" || w.text == "mjpeg" || w.text == "yuyv,mjpeg" || w.text == "mjpeg,yuyv") {
        d.yuyv = w.text.find("yuyv") != std::string::npos;
        d.mjpeg = w.text.find("mjpeg") != std::string::npos;
        return true;
    }
    problem = "bad formats '" + w.text + "' (expected yuyv, mjpeg or yuyv,mjpeg)";
    return false;
}

bool parseDevice(const std::string& kindWord, Cursor& c, DeviceSpec& d, const std::string& baseDir,
                 std::string& problem)
{
    if (kindWord == "camera") {
        d.kind = SpecKind::Camera;
        d.vid = 0x2A3C;
        d.pid = 0x0001;
        d.deviceClass = 0xEF, d.subClass = 0x02, d.protocol = 0x01;
        d.sizes = {{640, 480}};
        d.scene = Scene::Gradient;
    } else if (kindWord == "scope") {
        d.kind = SpecKind::Scope;
        d.vid = 0x05E3;
        d.pid = 0x0510;
        d.deviceClass = 0xEF, d.subClass = 0x02, d.protocol = 0x01;
        d.sizes = {{640, 480}};
        d.scene = Scene::Pipe;
    } else if (kindWord == "em28xx") {
        d.kind = SpecKind::Em28xx;
        d.vid = 0xEB1A;
        d.pid = 0x2861;
        d.sizes = {{640, 480}};
        d.scene = Scene::Pipe;
    } else {
        d.kind = SpecKind::Usb;
    }
    if (d.kind != SpecKind::Usb && !takeName(c, kindWord, d.name, problem))
        return false;

    bool haveVid = false, havePid = false;
    while (!c.done()) {
        Word key = c.next();
        Word w;
        uint32_t v = 0;
        const std::string& k = key.text;
        const bool camera = d.kind == SpecKind::Camera;
        const bool usb = d.kind == SpecKind::Usb;
        const bool scope = d.kind == SpecKind::Scope;
        const bool em = d.kind == SpecKind::Em28xx;
        if (key.quoted) {
            problem = "unexpected quoted word \"" + k + "\"";
            return false;
        }
        if (k == "vid" && (camera || usb || em)) {
            if (!takeHex(c, k, 4, v, problem))
                return false;
            d.vid = static_cast<uint16_t>(v);
            haveVid = true;
        } else if (k == "pid" && (camera || usb || em)) {
            if (!takeHex(c, k, 4, v, problem))
                return false;
            d.pid = static_cast<uint16_t>(v);
            havePid = true;
        } else if (k == "rev" && (camera || usb)) {
            if (!takeHex(c, k, 4, v, problem))
                return false;
            d.rev = static_cast<uint16_t>(v);
        } else if (k == "class" && (camera || usb)) {
            uint8_t t[3];
            if (!takeClass(c, "class", t, problem))
                return false;
            d.deviceClass = t[0], d.subClass = t[1], d.protocol = t[2];
        } else if (k == "interface" && usb) {
            uint8_t t[3];
            if (!takeClass(c, "interface", t, problem))
                return false;
            d.interfaceClass = {t[0], t[1], t[2]};
        } else if (k == "interfaces" && usb) {
            if (!c.value(k, w, problem))
                return false;
            if (!parseDecimal(w.text, 32, v) || v < 1) {
                problem = "bad interface count '" + w.text + "' (expected 1..32)";
                return false;
            }
            d.interfaces = static_cast<int>(v);
        } else if (k == "size" && (camera || em)) {
            if (!takeSizes(c, d, problem))
                return false;
        } else if (k == "fps" && (camera || scope)) {
            if (!c.value(k, w, problem))
                return false;
            if (!parseDecimal(w.text, 240, v) || v < 1) {
                problem = "bad frame rate '" + w.text + "' (expected 1..240)";
                return false;
            }
            d.fps = v;
        } else if (k == "scene" && (camera || scope)) {
            // The scope's picture follows its tube and LEDs; "still" only stops its travel.
            if (!c.value(k, w, problem))
                return false;
            static const std::pair<const char*, Scene> kScenes[] = {{"pipe", Scene::Pipe},
                                                                    {"still", Scene::Still},
                                                                    {"gradient", Scene::Gradient},
                                                                    {"black", Scene::Black},
                                                                    {"chart", Scene::Chart}};
            const size_t offered = scope ? 2 : std::size(kScenes);
            const auto* end = kScenes + offered;
            const auto* hit =
                std::find_if(kScenes, end, [&](const auto& e) { return w.text == e.first; });
            if (hit == end) {
                problem = scope ? "unknown scope scene '" + w.text + "' (expected pipe or still)"
                                : "unknown scene '" + w.text +
                                      "' (expected pipe, gradient, black, chart or still)";
                return false;
            }
            d.scene = hit->second;
        } else if (k == "description" && !usb) {
            if (!c.value(k, w, problem))
                return false;
            if (!w.quoted) {
                problem = "'description' needs a quoted text";
                return false;
            }
            d.description = w.text;
        } else if (k == "tube" && scope) {
            if (!c.value(k, w, problem))
                return false;
            if (!onOff(w, "in", "out", d.tubeIn)) {
                problem = "bad tube state '" + w.text + "' (expected in or out)";
                return false;
            }
        } else if (k == "eeprom" && scope) {
            if (!c.value(k, w, problem))
                return false;
            std::filesystem::path p(w.text);
            if (p.is_relative() && !baseDir.empty())
                p = std::filesystem::path(baseDir) / p;
            d.eepromFile = p.string();
        } else if (k == "stalled" && scope) {
            uint32_t v = 0;
            if (!c.value(k, w, problem))
                return false;
            if (!parseDecimal(w.text, 3600000, v)) {
                problem = "bad stall time '" + w.text + "' (expected milliseconds)";
                return false;
            }
            d.stallAtPlugMs = v;
        } else if (k == "absent" && scope) {
            if (!takeAbsent(c, d, problem))
                return false;
        } else if ((k == "bus" || k == "formats") && !usb) {
            if (!takeStreamWord(c, k, d, problem))
                return false;
        } else if (k == "unplugged" && !usb) {
            d.plugged = false;
        } else if (k == "unopenable" && !usb) {
            d.unopenable = true;
        } else {
            problem = "unknown word '" + k + "' in a " + kindWord + " line";
            return false;
        }
    }
    const bool usbLine = d.kind == SpecKind::Usb;
    if (usbLine && (!haveVid || !havePid)) {
        problem = "a usb line needs vid and pid";
        return false;
    }
    if (!usbLine && haveVid != havePid) {
        problem = "vid and pid go together";
        return false;
    }
    return true;
}

bool parseEventWords(Cursor& c, EventSpec& e, std::string& problem)
{
    if (c.done()) {
        problem = "missing event";
        return false;
    }
    Word ev = c.next();
    const std::string& k = ev.text;
    if (ev.quoted) {
        problem = "expected an event word, not \"" + k + "\"";
        return false;
    }
    Word w;
    uint32_t v = 0;
    if (k == "plug" || k == "unplug") {
        e.kind = k == "plug" ? EventKind::Plug : EventKind::Unplug;
        if (!takeName(c, k, e.name, problem))
            return false;
    } else if (k == "tube") {
        e.kind = EventKind::Tube;
        if (!takeName(c, k, e.name, problem) || !c.value("tube \"" + e.name + "\"", w, problem))
            return false;
        if (!onOff(w, "in", "out", e.on)) {
            problem = "bad tube state '" + w.text + "' (expected in or out)";
            return false;
        }
    } else if (k == "button") {
        e.kind = EventKind::Button;
        e.ms = 200;
        if (!takeName(c, k, e.name, problem) || !c.value("button \"" + e.name + "\"", w, problem))
            return false;
        if (w.text == "snapshot")
            e.button = ButtonKind::Snapshot;
        else if (w.text == "record")
            e.button = ButtonKind::Record;
        else if (w.text == "led-up")
            e.button = ButtonKind::LedUp;
        else if (w.text == "led-down")
            e.button = ButtonKind::LedDown;
        else {
            problem =
                "unknown button '" + w.text + "' (expected snapshot, record, led-up or led-down)";
            return false;
        }
        if (!c.done()) {
            w = c.next();
            if (!parseDecimal(w.text, 600000, v)) {
                problem = "bad hold time '" + w.text + "' (expected milliseconds)";
                return false;
            }
            e.ms = v;
        }
    } else if (k == "stall") {
        e.kind = EventKind::Stall;
        if (!takeName(c, k, e.name, problem) || !c.value("stall \"" + e.name + "\"", w, problem))
            return false;
        if (!parseDecimal(w.text, 3600000, v)) {
            problem = "bad stall time '" + w.text + "' (expected milliseconds)";
            return false;
        }
        e.ms = v;
    } else if (k == "frames") {
        e.kind = EventKind::Frames;
        if (!takeName(c, k, e.name, problem) || !c.value("frames \"" + e.name + "\"", w, problem))
            return false;
        if (!onOff(w, "on", "off", e.on)) {
            problem = "bad frames state '" + w.text + "' (expected on or off)";
            return false;
        }
    } else {
        problem = "unknown event '" + k + "'";
        return false;
    }
    if (!c.done()) {
        problem = "unexpected '" + c.next().text + "' after the event";
        return false;
    }
    return true;
}

// Which devices an event may name.
bool eventFits(const EventSpec& e, SpecKind kind)
{
    switch (e.kind) {
    case EventKind::Tube:
        return kind == SpecKind::Scope;
    case EventKind::Button:
        if (e.button == ButtonKind::LedUp || e.button == ButtonKind::LedDown)
            return kind == SpecKind::Scope;
        return kind == SpecKind::Scope || kind == SpecKind::Em28xx;
    default:
        return kind != SpecKind::Usb;
    }
}

const char* kindWord(SpecKind k)
{
    switch (k) {
    case SpecKind::Camera:
        return "camera";
    case SpecKind::Scope:
        return "scope";
    case SpecKind::Em28xx:
        return "em28xx";
    case SpecKind::Usb:
        break;
    }
    return "usb";
}

} // namespace

const char* eventWord(EventKind kind)
{
    switch (kind) {
    case EventKind::Plug:
        return "plug";
    case EventKind::Unplug:
        return "unplug";
    case EventKind::Tube:
        return "tube";
    case EventKind::Button:
        return "button";
    case EventKind::Stall:
        return "stall";
    case EventKind::Frames:
        return "frames";
    }
    return "?";
}

EventResult parseEventLine(const std::string& line)
{
    EventResult r;
    std::vector<Word> words;
    if (!splitWords(line, words, r.error))
        return r;
    Cursor c(words);
    if (!parseEventWords(c, r.event, r.error))
        return r;
    r.ok = true;
    return r;
}

ParseResult parseScenario(const std::string& text, const std::string& origin,
                          const std::string& baseDir)
{
    ParseResult r;
    std::map<std::string, std::pair<int, SpecKind>> names; // name -> line, kind
    int registryLine = 0;
    std::istringstream in(text);
    int lineNo = 0;
    auto fail = [&](const std::string& problem) {
        // Words of a damaged file may hold any byte: the message stays one printable line.
        r.error = files::printable(origin + ":" + std::to_string(lineNo) + ": " + problem);
        r.scenario = {};
        return r;
    };
    for (std::string line; std::getline(in, line);) {
        ++lineNo;
        std::vector<Word> words;
        std::string problem;
        if (!splitWords(line, words, problem))
            return fail(problem);
        if (words.empty())
            continue;
        Cursor c(words);
        Word first = c.next();
        const std::string& k = first.text;
        if (first.quoted)
            return fail("a line starts with a word, not \"" + k + "\"");
        if (k == "camera" || k == "scope" || k == "em28xx" || k == "usb") {
            DeviceSpec d;
            d.line = lineNo;
            if (!parseDevice(k, c, d, baseDir, problem))
                return fail(problem);
            if (!d.name.empty()) {
                auto it = names.find(d.name);
                if (it != names.end())
                    return fail("duplicate name \"" + d.name + "\" (first on line " +
                                std::to_string(it->second.first) + ")");
                names[d.name] = {lineNo, d.kind};
            }
            r.scenario.devices.push_back(std::move(d));
        } else if (k == "registry") {
            std::string name;
            if (!takeName(c, k, name, problem))
                return fail(problem);
            if (!c.done())
                return fail("unexpected '" + c.next().text + "' after the registry name");
            if (registryLine)
                return fail("a second registry line (first on line " +
                            std::to_string(registryLine) + ")");
            registryLine = lineNo;
            r.scenario.registryName = name;
        } else if (k == "at") {
            Word w;
            uint32_t ms = 0;
            if (!c.value("at", w, problem))
                return fail(problem);
            if (w.quoted || !parseDecimal(w.text, 0x7FFFFFFF, ms))
                return fail("bad time '" + w.text + "' after 'at' (expected milliseconds)");
            EventSpec e;
            e.atMs = ms;
            e.line = lineNo;
            if (!parseEventWords(c, e, problem))
                return fail(problem);
            auto it = names.find(e.name);
            if (it == names.end())
                return fail("no device named \"" + e.name + "\" above this line");
            if (!eventFits(e, it->second.second))
                return fail(std::string("'") + eventWord(e.kind) + "' does not apply to the " +
                            kindWord(it->second.second) + " \"" + e.name + "\"");
            r.scenario.events.push_back(std::move(e));
        } else {
            return fail("unknown word '" + k + "'");
        }
    }
    r.ok = true;
    return r;
}

} // namespace scopesim
