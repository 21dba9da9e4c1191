#include "logs/xml_track_reader.h"

#include "dataset/dive_tracks.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <span>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace {

using std::string_view;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

string_view Trim(string_view s)
{
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// The name after the prefix, if any.
string_view LocalName(string_view name)
{
    const size_t colon = name.find(':');
    return colon == string_view::npos ? name : name.substr(colon + 1);
}

string_view LocalName(pugi::xml_node node)
{
    return LocalName(node.name());
}

// A finite decimal number and nothing else but surrounding white space.
bool ParseNumber(string_view s, double& value)
{
    s = Trim(s);
    if (!s.empty() && s.front() == '+') {  // from_chars takes no plus sign, XML Schema does
        s.remove_prefix(1);
        if (!s.empty() && s.front() == '-')
            return false;
    }
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    return error == std::errc() && end == s.data() + s.size() && std::isfinite(value);
}

bool ParseCount(string_view s, int& value)
{
    s = Trim(s);
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    return !s.empty() && error == std::errc() && end == s.data() + s.size() && value >= 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Reads `count` digits at `pos` and moves past them.
bool Digits(string_view s, size_t& pos, size_t count, int& value)
{
    if (pos + count > s.size())
        return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = s[pos + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool Expect(string_view s, size_t& pos, char c)
{
    if (pos >= s.size() || s[pos] != c)
        return false;
    ++pos;
    return true;
}

// YYYY-MM-DDThh:mm:ss[.f...][Z|+hh:mm|-hh:mm|+hhmm|+hh], no zone read as UTC.
bool ParseTime(string_view s, double& utc)
{
    s = Trim(s);
    size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(s, pos, 4, year) || !Expect(s, pos, '-') || !Digits(s, pos, 2, month) || !Expect(s, pos, '-') ||
        !Digits(s, pos, 2, day))
        return false;
    if (pos >= s.size() || (s[pos] != 'T' && s[pos] != 't' && s[pos] != ' '))
        return false;
    ++pos;
    if (!Digits(s, pos, 2, hour) || !Expect(s, pos, ':') || !Digits(s, pos, 2, minute) || !Expect(s, pos, ':') ||
        !Digits(s, pos, 2, second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 60)  // 60: a leap second, counted as the next one as POSIX time does
        return false;
    double fraction = 0;
    if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
        ++pos;
        double scale = 0.1;
        const size_t first = pos;
        for (; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, scale *= 0.1)
            fraction += (s[pos] - '0') * scale;
        if (pos == first)
            return false;
    }
    int offset_minutes = 0;
    if (pos < s.size() && (s[pos] == 'Z' || s[pos] == 'z')) {
        ++pos;
    } else if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        const int sign = s[pos++] == '-' ? -1 : 1;
        int zone_hours = 0, zone_minutes = 0;
        if (!Digits(s, pos, 2, zone_hours))
            return false;
        if (pos < s.size()) {
            Expect(s, pos, ':');
            if (!Digits(s, pos, 2, zone_minutes))
                return false;
        }
        if (zone_hours > 23 || zone_minutes > 59)
            return false;
        offset_minutes = sign * (zone_hours * 60 + zone_minutes);
    }
    if (pos != s.size())
        return false;
    const int64_t seconds = DaysFromCivil(int(year), month, day) * 86400 + hour * 3600 + minute * 60 + second;
    utc = static_cast<double>(seconds - offset_minutes * 60) + fraction;
    return true;
}

// The source text, for the lines and excerpts of dropped points. Lines end at
// LF, CRLF or a lone CR, as pugixml reads them. Offsets come nearly in
// document order, so the count moves on from the last one, either way.
class SourceText {
public:
    explicit SourceText(string_view text) : m_text(text) {}

    // 1-based line of a pugixml offset; 0 when pugixml gave none.
    uint64_t LineAt(ptrdiff_t offset)
    {
        if (offset < 0)
            return 0;
        const size_t end = std::min(static_cast<size_t>(offset), m_text.size());
        for (; m_pos < end; ++m_pos)
            m_line += EndsLine(m_pos);
        for (; m_pos > end; --m_pos)
            m_line -= EndsLine(m_pos - 1);
        return m_line;
    }

    // The element whose name starts at `offset`, from its '<' to the end of
    // its line.
    std::string ElementAt(ptrdiff_t offset) const
    {
        if (offset < 0 || static_cast<size_t>(offset) >= m_text.size())
            return {};
        size_t start = static_cast<size_t>(offset);
        if (start > 0 && m_text[start - 1] == '<')
            --start;
        const string_view rest = m_text.substr(start, LogReading::kExcerptBytes);
        return std::string(rest.substr(0, rest.find_first_of("\r\n")));
    }

private:
    bool EndsLine(size_t pos) const
    {
        return m_text[pos] == '\n' || (m_text[pos] == '\r' && (pos + 1 == m_text.size() || m_text[pos + 1] != '\n'));
    }

    string_view m_text;
    size_t m_pos = 0;
    uint64_t m_line = 1;
};

// The element after `node` in document order within `top`, not entering
// `node` itself when `enter` is false. Iterative, so no nesting depth can
// exhaust the stack.
pugi::xml_node NextWithin(pugi::xml_node node, pugi::xml_node top, bool enter = true)
{
    if (enter)
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
            if (child.type() == pugi::node_element)
                return child;
    for (; node && node != top; node = node.parent())
        for (pugi::xml_node next = node.next_sibling(); next; next = next.next_sibling())
            if (next.type() == pugi::node_element)
                return next;
    return {};
}

// Calls `visit` with every element inside `top` in document order; skips
// the inside of those for which it returns true.
template <class Visit>
void EachElement(pugi::xml_node top, const Visit& visit)
{
    for (pugi::xml_node node = NextWithin(top, top); node;)
        node = NextWithin(node, top, !visit(node));
}

// The namespace declarations of one element: prefix ("" for the default
// namespace) to URI.
using Bindings = std::map<string_view, string_view>;

Bindings DeclaredIn(pugi::xml_node element)
{
    Bindings bindings;
    for (const pugi::xml_attribute attribute : element.attributes()) {
        const string_view name = attribute.name();
        if (name == "xmlns" || name.starts_with("xmlns:"))
            bindings.emplace(name.substr(std::min<size_t>(name.size(), 6)), attribute.value());
    }
    return bindings;
}

bool ContainsNoCase(string_view text, string_view word)
{
    for (size_t i = 0; i + word.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < word.size() && (text[i + k] | 0x20) == word[k])
            ++k;
        if (k == word.size())
            return true;
    }
    return false;
}

// The depth the first depth element inside `point` gives, in metres; NaN
// when there is none or its unit cannot be told. `outer` holds what the
// point's ancestors declare, innermost last: read once for all their points,
// however many declarations they carry.
double DepthInside(pugi::xml_node point, std::span<const Bindings> outer)
{
    pugi::xml_node node = NextWithin(point, point);
    while (node && LocalName(node) != "depth")
        node = NextWithin(node, point);
    double value = 0;
    if (!node || !ParseNumber(node.child_value(), value))
        return kNoValue;
    const string_view name = node.name();
    const size_t colon = name.find(':');
    const string_view prefix = colon == string_view::npos ? string_view() : name.substr(0, colon);
    const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    const char* bound = nullptr;
    for (pugi::xml_node inside = node; !bound && inside != point.parent(); inside = inside.parent())
        bound = inside.attribute(declaration.c_str()).as_string(nullptr);
    for (auto scope = outer.rbegin(); !bound && scope != outer.rend(); ++scope)
        if (const auto found = scope->find(prefix); found != scope->end())
            bound = found->second.data();
    const string_view uri = bound ? bound : "";
    if (ContainsNoCase(uri, "humminbird"))
        return value / 100;
    if (uri.starts_with("http://www.garmin.com/xmlschemas/TrackPointExtension/") || prefix.empty())
        return value;
    return kNoValue;
}

class GpxReader {
public:
    GpxReader(string_view prefix, SourceText& source, LogReading& reading)
        : m_prefix(prefix), m_source(source), m_reading(reading)
    {}

    void Read(pugi::xml_node gpx)
    {
        m_scopes.assign(1, DeclaredIn(gpx));
        for (pugi::xml_node child : gpx.children()) {
            const bool route = Is(child, "rte");
            if (!route && !Is(child, "trk"))
                continue;
            LogTrack track;
            track.route = route;
            track.name = Trim(Value(child, "name"));
            m_scopes.push_back(DeclaredIn(child));
            for (pugi::xml_node part : child.children()) {
                if (route && Is(part, "rtept"))
                    ReadPoint(part, track);
                if (route || !Is(part, "trkseg"))
                    continue;
                m_scopes.push_back(DeclaredIn(part));
                for (pugi::xml_node point : part.children())
                    if (Is(point, "trkpt"))
                        ReadPoint(point, track);
                m_scopes.pop_back();
            }
            m_scopes.pop_back();
            if (!track.fixes.empty())
                m_reading.tracks.push_back(std::move(track));
        }
    }

private:
    bool Is(pugi::xml_node node, string_view local) const
    {
        const string_view name = node.name();
        return name.size() == m_prefix.size() + local.size() && name.starts_with(m_prefix) && name.ends_with(local);
    }
    pugi::xml_node Child(pugi::xml_node node, string_view local) const
    {
        for (pugi::xml_node child : node.children())
            if (Is(child, local))
                return child;
        return {};
    }
    string_view Value(pugi::xml_node node, string_view local) const { return Child(node, local).child_value(); }

    void ReadPoint(pugi::xml_node point, LogTrack& track)
    {
        ++m_reading.lines;
        LogFix fix;
        fix.line = m_source.LineAt(point.offset_debug());
        const char* reason = nullptr;
        const string_view quality = Trim(Value(point, "fix"));
        const pugi::xml_node time = Child(point, "time");
        if (!ParseNumber(point.attribute("lat").value(), fix.latitude) || std::fabs(fix.latitude) > 90)
            reason = "bad latitude";
        else if (!ParseNumber(point.attribute("lon").value(), fix.longitude) || std::fabs(fix.longitude) > 180)
            reason = "bad longitude";
        else if (quality == "none")
            reason = "no fix";
        else if (time && !ParseTime(time.child_value(), fix.utc))
            reason = "bad time";
        if (reason) {
            m_reading.Drop(fix.line, reason, m_source.ElementAt(point.offset_debug()));
            return;
        }
        if (quality == "2d" || quality == "3d")
            fix.quality = 1;
        else if (quality == "dgps")
            fix.quality = 2;
        else if (quality == "pps")
            fix.quality = 3;
        double value = 0;
        if (ParseNumber(Value(point, "ele"), value))
            fix.altitude = value;
        if (ParseNumber(Value(point, "hdop"), value) && value >= 0)
            fix.hdop = value;
        if (!ParseCount(Value(point, "sat"), fix.receivers))
            fix.receivers = -1;
        fix.depth = DepthInside(point, m_scopes);
        track.fixes.push_back(fix);
    }

    string_view m_prefix;            // the root's, which the GPX elements share
    std::vector<Bindings> m_scopes;  // declared by gpx, trk or rte, trkseg
    SourceText& m_source;
    LogReading& m_reading;
};

pugi::xml_node ChildNamed(pugi::xml_node node, string_view local)
{
    for (pugi::xml_node child : node.children())
        if (child.type() == pugi::node_element && LocalName(child) == local)
            return child;
    return {};
}

// KML elements are told by their local names: the gx extensions and KML 2.3
// put the same tracks under different namespaces.
class KmlReader {
public:
    KmlReader(SourceText& source, LogReading& reading) : m_source(source), m_reading(reading) {}

    void Read(pugi::xml_node kml)
    {
        EachElement(kml, [&](pugi::xml_node node) {
            if (LocalName(node) != "Placemark")
                return ReadGeometry(node, {});
            const std::string name(Trim(ChildNamed(node, "name").child_value()));
            EachElement(node, [&](pugi::xml_node part) { return ReadGeometry(part, name); });
            return true;
        });
    }

private:
    // Reads `node` into a track when it is a geometry; true then.
    bool ReadGeometry(pugi::xml_node node, const std::string& name)
    {
        const string_view local = LocalName(node);
        if (local != "Track" && local != "MultiTrack" && local != "LineString")
            return false;
        LogTrack track;
        track.name = name;
        if (local == "LineString") {
            track.route = true;
            ReadCoordinates(ChildNamed(node, "coordinates"), track);
        } else if (local == "Track") {
            ReadTrack(node, track);
        } else {
            for (pugi::xml_node part : node.children())
                if (LocalName(part) == "Track")
                    ReadTrack(part, track);
        }
        if (!track.fixes.empty())
            m_reading.tracks.push_back(std::move(track));
        return true;
    }

    void Drop(uint64_t line, const char* reason, const std::string& excerpt) { m_reading.Drop(line, reason, excerpt); }

    // "lon lat [alt]" (gx:coord) or "lon,lat[,alt]" (coordinates) into `fix`;
    // null or the reason to drop it.
    static const char* ReadPosition(string_view text, char separator, LogFix& fix)
    {
        string_view parts[4];
        size_t count = 0;
        text = Trim(text);
        while (count < 4) {
            const size_t end = separator == ',' ? text.find(',') : text.find_first_of(" \t\r\n");
            parts[count++] = text.substr(0, end);
            if (end == string_view::npos)
                break;
            text = separator == ',' ? text.substr(end + 1) : Trim(text.substr(end));
        }
        if (count < 2 || count > 3)
            return "bad coordinates";
        if (!ParseNumber(parts[1], fix.latitude) || std::fabs(fix.latitude) > 90)
            return "bad latitude";
        if (!ParseNumber(parts[0], fix.longitude) || std::fabs(fix.longitude) > 180)
            return "bad longitude";
        if (count == 3 && !ParseNumber(parts[2], fix.altitude))
            return "bad coordinates";
        return nullptr;
    }

    void ReadTrack(pugi::xml_node track_node, LogTrack& track)
    {
        std::vector<pugi::xml_node> whens, coords;
        for (pugi::xml_node child : track_node.children()) {
            if (LocalName(child) == "when")
                whens.push_back(child);
            else if (LocalName(child) == "coord")
                coords.push_back(child);
        }
        const size_t pairs = std::min(whens.size(), coords.size());
        for (size_t i = 0; i < pairs; ++i) {
            ++m_reading.lines;
            LogFix fix;
            fix.line = m_source.LineAt(coords[i].offset_debug());
            const char* reason = ReadPosition(coords[i].child_value(), ' ', fix);
            if (!reason && !ParseTime(whens[i].child_value(), fix.utc))
                reason = "bad time";
            if (reason)
                Drop(fix.line, reason, m_source.ElementAt(coords[i].offset_debug()));
            else
                track.fixes.push_back(fix);
        }
        const bool more_whens = whens.size() > pairs;
        for (pugi::xml_node unpaired :
             more_whens ? std::span(whens).subspan(pairs) : std::span(coords).subspan(pairs)) {
            ++m_reading.lines;
            Drop(m_source.LineAt(unpaired.offset_debug()), more_whens ? "when without coord" : "coord without when",
                 m_source.ElementAt(unpaired.offset_debug()));
        }
    }

    void ReadCoordinates(pugi::xml_node coordinates, LogTrack& track)
    {
        for (pugi::xml_node text : coordinates.children()) {
            if (text.type() != pugi::node_pcdata && text.type() != pugi::node_cdata)
                continue;
            const string_view tuples = text.value();
            const uint64_t first_line = m_source.LineAt(text.offset_debug());
            uint64_t line = first_line;
            size_t pos = 0;
            while (pos < tuples.size()) {
                if (IsSpace(tuples[pos])) {
                    line += tuples[pos++] == '\n';
                    continue;
                }
                const size_t end = std::min(tuples.find_first_of(" \t\r\n", pos), tuples.size());
                const string_view tuple = tuples.substr(pos, end - pos);
                pos = end;
                ++m_reading.lines;
                LogFix fix;
                fix.line = first_line ? line : 0;
                if (const char* reason = ReadPosition(tuple, ',', fix))
                    Drop(fix.line, reason, std::string(tuple.substr(0, LogReading::kExcerptBytes)));
                else
                    track.fixes.push_back(fix);
            }
        }
    }

    SourceText& m_source;
    LogReading& m_reading;
};

}  // namespace

Status ReadXmlTracks(const std::string& text, LogReading& reading)
{
    if (text.size() > kMaxXmlTrackBytes)
        return Status::Failure("the document has " + std::to_string(text.size()) + " bytes, more than the " +
                               std::to_string(kMaxXmlTrackBytes >> 20) + " MiB read as GPX or KML");
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    SourceText source(text);
    if (!parsed)
        return Status::Failure("not XML: " + std::string(parsed.description()) + " at line " +
                               std::to_string(source.LineAt(parsed.offset)));
    const pugi::xml_node root = document.document_element();
    const string_view root_name = LocalName(root);
    if (root_name == "gpx") {
        const string_view name = root.name();
        GpxReader(name.substr(0, name.size() - root_name.size()), source, reading).Read(root);
    } else if (root_name == "kml") {
        KmlReader(source, reading).Read(root);
    } else {
        return Status::Failure("neither GPX nor KML: the root element is <" +
                               std::string(string_view(root.name()).substr(0, 40)) + ">");
    }
    return Status::Ok();
}

bool LooksLikeXmlTrack(const std::string& head)
{
    const string_view s = head;
    size_t pos = s.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    for (;;) {
        while (pos < s.size() && IsSpace(s[pos]))
            ++pos;
        if (pos >= s.size() || s[pos] != '<')
            return false;
        const string_view rest = s.substr(pos);
        size_t end = string_view::npos;
        if (rest.starts_with("<?")) {
            end = s.find("?>", pos + 2);
            end += end == string_view::npos ? 0 : 2;
        } else if (rest.starts_with("<!--")) {
            end = s.find("-->", pos + 4);
            end += end == string_view::npos ? 0 : 3;
        } else if (rest.starts_with("<!")) {  // a doctype, perhaps with an internal subset in brackets
            end = s.find_first_of("[>", pos + 2);
            if (end != string_view::npos && s[end] == '[') {
                end = s.find(']', end);
                end = end == string_view::npos ? end : s.find('>', end);
            }
            end += end == string_view::npos ? 0 : 1;
        } else {
            const size_t name_end = s.find_first_of(" \t\r\n/>", pos + 1);
            if (name_end == string_view::npos)
                return false;  // the name may go on past the head
            const string_view local = LocalName(s.substr(pos + 1, name_end - pos - 1));
            return local == "gpx" || local == "kml";
        }
        if (end == string_view::npos)
            return false;
        pos = end;
    }
}
