#include "math/camera_key_file.h"

#include "core/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace {

constexpr int kFieldsPerKey = 11;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool IsBlankLine(std::string_view line)
{
    for (char c : line)
        if (!IsBlank(c))
            return false;
    return true;
}

// Hands out the words of the text, white space including line ends as for
// scanf, and tells the line each word starts on.
class WordReader {
public:
    WordReader(std::string_view text, unsigned first_line) : m_text(text), m_line(first_line) {}

    // False at the end of the text.
    bool Next(std::string_view& word)
    {
        if (AtEnd())
            return false;
        const size_t start = m_pos;
        while (m_pos < m_text.size() && !IsBlank(m_text[m_pos]) && m_text[m_pos] != '\n')
            ++m_pos;
        word = m_text.substr(start, m_pos - start);
        m_word_line = m_line;
        return true;
    }
    // Skips white space; true when nothing else is left.
    bool AtEnd()
    {
        for (; m_pos < m_text.size() && (IsBlank(m_text[m_pos]) || m_text[m_pos] == '\n'); ++m_pos)
            m_line += m_text[m_pos] == '\n';
        return m_pos == m_text.size();
    }
    unsigned WordLine() const { return m_word_line; }  // line of the last word
    unsigned Line() const { return m_line; }           // line of the next word

private:
    std::string_view m_text;
    size_t m_pos = 0;
    unsigned m_line;
    unsigned m_word_line = 0;
};

// Splits `line` at blanks into at most `capacity` fields; returns the field
// count, or capacity + 1 when there are more.
int SplitFields(std::string_view line, std::string_view* fields, int capacity)
{
    int count = 0;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        const size_t start = i;
        while (i < line.size() && !IsBlank(line[i]))
            ++i;
        if (count == capacity)
            return capacity + 1;
        fields[count++] = line.substr(start, i - start);
    }
    return count;
}

// A finite float in decimal or exponent form, with an optional sign.
bool ParseFloat(std::string_view field, float& value)
{
    if (!field.empty() && field.front() == '+') {
        field.remove_prefix(1);
        if (!field.empty() && field.front() == '-')
            return false;
    }
#if defined(__cpp_lib_to_chars)
    const char* end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, value, std::chars_format::general);
    return error == std::errc() && stop == end && std::isfinite(value);
#else
    // A standard library without floating-point from_chars (the web page's):
    // the same decimal form checked here, then strtof, which the page runs in
    // the "C" locale, on a terminated copy.
    size_t i = 0, digits = 0;
    const auto skip_digits = [&] {
        size_t n = 0;
        while (i < field.size() && field[i] >= '0' && field[i] <= '9')
            ++i, ++n;
        return n;
    };
    if (i < field.size() && field[i] == '-')
        ++i;
    digits += skip_digits();
    if (i < field.size() && field[i] == '.') {
        ++i;
        digits += skip_digits();
    }
    if (digits == 0)
        return false;
    if (i < field.size() && (field[i] == 'e' || field[i] == 'E')) {
        ++i;
        if (i < field.size() && (field[i] == '+' || field[i] == '-'))
            ++i;
        if (skip_digits() == 0)
            return false;
    }
    if (i != field.size())
        return false;
    const std::string text(field);
    errno = 0;
    value = std::strtof(text.c_str(), nullptr);
    return errno != ERANGE && std::isfinite(value);
#endif
}

// The key count: decimal digits only, at most kMaxCameraKeys.
bool ParseCount(std::string_view line, unsigned& count, std::string& reason)
{
    std::string_view field;
    if (SplitFields(line, &field, 1) != 1) {
        reason = "line 1: expected the key count alone";
        return false;
    }
    unsigned long long value = 0;
    const char* end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, value);
    if (stop != end || (error != std::errc() && error != std::errc::result_out_of_range)) {
        reason = "line 1: the key count is not an unsigned number";
        return false;
    }
    if (error == std::errc::result_out_of_range || value > kMaxCameraKeys) {
        reason = "line 1: the key count is larger than " + std::to_string(kMaxCameraKeys);
        return false;
    }
    count = static_cast<unsigned>(value);
    return true;
}

std::string Describe(float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

// Reads at most `limit` + 1 bytes, so an oversized file is detected without
// being held in memory.
bool ReadBounded(std::FILE* file, size_t limit, std::string& text, bool& too_large)
{
    char buffer[1 << 16];
    too_large = false;
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, file);
        if (text.size() + got > limit) {
            too_large = true;
            return true;
        }
        text.append(buffer, got);
        if (got < sizeof buffer)
            return !std::ferror(file);
    }
}

}  // namespace

Status CheckKeyTimes(const std::vector<CameraKey>& keys)
{
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!std::isfinite(keys[i].time))
            return Status::Failure("key " + std::to_string(i + 1) + " has no finite time");
        // Written as !(a > b) so that nothing unordered slips through.
        if (i > 0 && !(keys[i].time > keys[i - 1].time))
            return Status::Failure("key " + std::to_string(i + 1) + " at time " + Describe(keys[i].time) +
                                   " s does not come after key " + std::to_string(i) + " at " +
                                   Describe(keys[i - 1].time) + " s");
    }
    return Status::Ok();
}

std::string FormatKeyFile(const std::vector<CameraKey>& keys)
{
    std::string text;
    char line[1024];  // 11 fields of at most 56 characters each
    std::snprintf(line, sizeof line, "%u\n", static_cast<unsigned>(keys.size()));
    text += line;
    for (const CameraKey& k : keys) {
        std::snprintf(line, sizeof line, "%.15f %.15f %.15f %.15f %.15f %.15f %.15f %.15f %.15f %.15f %.15f\n",
                      double(k.time), double(k.tension), double(k.continuity), double(k.bias), double(k.position.x),
                      double(k.position.y), double(k.position.z), double(k.orientation.x), double(k.orientation.y),
                      double(k.orientation.z), double(k.orientation.w));
        text += line;
    }
    return text;
}

CameraKeyStatus ParseKeyFile(std::string_view text, std::vector<CameraKey>& keys)
{
    const size_t first_end = std::min(text.find('\n'), text.size());
    const std::string_view first_line = text.substr(0, first_end);
    if (IsBlankLine(first_line))
        return CameraKeyStatus::Failure(text.empty() ? "the file is empty" : "line 1: expected the key count");
    unsigned count = 0;
    std::string reason;
    if (!ParseCount(first_line, count, reason))
        return CameraKeyStatus::Failure(std::move(reason));

    // The keys' numbers follow one another whatever the line breaks.
    WordReader words(text.substr(std::min(first_end + 1, text.size())), 2);
    std::vector<CameraKey> read;
    read.reserve(count);
    std::string warning;
    for (unsigned k = 0; k < count; ++k) {
        float v[kFieldsPerKey] = {};
        int n = 0;
        std::string_view word;
        for (; n < kFieldsPerKey && words.Next(word); ++n)
            if (!ParseFloat(word, v[n]))
                return CameraKeyStatus::Failure("line " + std::to_string(words.WordLine()) + ": number " +
                                                std::to_string(n + 1) + " of key " + std::to_string(k + 1) +
                                                " is not a finite number");
        if (n == 0)
            return CameraKeyStatus::Failure("the file ends after " + std::to_string(k) + " of " +
                                            std::to_string(count) + " keys");
        // Only the last key can be cut short: the file ended inside it.
        if (const int missing = kFieldsPerKey - n; missing > 0)
            warning = "the file ends inside key " + std::to_string(k + 1) + ": its last " +
                      (missing == 1 ? "number is" : std::to_string(missing) + " numbers are") + " taken as 0";
        CameraKey key;
        key.time = v[0];
        key.tension = v[1];
        key.continuity = v[2];
        key.bias = v[3];
        key.position = {v[4], v[5], v[6]};
        key.orientation = {v[7], v[8], v[9], v[10]};
        read.push_back(key);
    }
    // The count decides how many keys there are; more text changes nothing.
    if (!words.AtEnd())
        warning = "line " + std::to_string(words.Line()) + " onwards ignored: the file announces " +
                  std::to_string(count) + (count == 1 ? " key" : " keys");
    if (Status times = CheckKeyTimes(read); !times)
        return CameraKeyStatus::Failure(std::move(times.reason));
    keys = std::move(read);
    return CameraKeyStatus::Success(count, std::move(warning));
}

CameraKeyStatus LoadKeyFile(const std::filesystem::path& path, std::vector<CameraKey>& keys)
{
    bool not_regular = false;
    std::FILE* file = OpenRegularFileForReading(path, &not_regular);
    if (!file && not_regular)
        return CameraKeyStatus::Failure(path.string() + " is not a regular file");
    if (!file)
        return CameraKeyStatus::Failure("cannot open " + path.string() + ": " + std::strerror(errno));
    std::string text;
    bool too_large = false;
    const bool read = ReadBounded(file, kMaxCameraKeyFileBytes, text, too_large);
    const int read_errno = errno;
    std::fclose(file);
    if (!read)
        return CameraKeyStatus::Failure("cannot read " + path.string() + ": " + std::strerror(read_errno));
    if (too_large)
        return CameraKeyStatus::Failure(path.string() + " is larger than " +
                                        std::to_string(kMaxCameraKeyFileBytes >> 20) + " MiB");
    CameraKeyStatus status = ParseKeyFile(text, keys);
    if (!status)
        status.reason = path.string() + ": " + status.reason;
    if (!status.warning.empty())
        status.warning = path.string() + ": " + status.warning;
    return status;
}

CameraKeyStatus SaveKeyFile(const std::filesystem::path& path, const std::vector<CameraKey>& keys)
{
    if (keys.size() > kMaxCameraKeys)
        return CameraKeyStatus::Failure("more than " + std::to_string(kMaxCameraKeys) + " keys");
    const std::string text = FormatKeyFile(keys);
    // Never leave behind a file that the loader would refuse.
    std::vector<CameraKey> back;
    if (CameraKeyStatus check = ParseKeyFile(text, back); !check)
        return CameraKeyStatus::Failure("the keys would not read back: " + check.reason);

    std::filesystem::path temporary = path;
    temporary += ".tmp";
    bool not_regular = false;
    std::FILE* file = OpenRegularFileForWriting(temporary, &not_regular);
    if (!file && not_regular)
        return CameraKeyStatus::Failure(temporary.string() + " is not a regular file");
    if (!file)
        return CameraKeyStatus::Failure("cannot create " + temporary.string() + ": " + std::strerror(errno));
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int write_errno = errno;
    // The close flushes the buffer: on a full disk it is often the first
    // call that fails.
    const bool closed = std::fclose(file) == 0;
    if (written && !closed)
        write_errno = errno;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        return CameraKeyStatus::Failure("cannot write " + temporary.string() + ": " +
                                        (write_errno ? std::strerror(write_errno) : "write failed"));
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::remove(temporary.c_str());
        return CameraKeyStatus::Failure("cannot replace " + path.string() + ": " + error.message());
    }
    return CameraKeyStatus::Success(static_cast<unsigned>(keys.size()));
}
