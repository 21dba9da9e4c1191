// JPEG decoder. Sections, in order: constants, input stream, Huffman
// tables, decoder state, marker handlers (APP0, DRI, DQT, DHT, SOF, SOS),
// bit reader and entropy decoding, inverse DCT, colour output, top level.
#include "image/jpeg_decoder.h"

#include "image/file_reader.h"

#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace {

// --- constants ------------------------------------------------------------------

constexpr uint8_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// AAN scale factors folded into the quantisation tables.
constexpr float kAanScale[8] = {1.0f, 1.3870399f, 1.306563f, 1.1758755f, 1.0f, 0.78569496f, 0.5411961f, 0.27589938f};

// How each marker is handled.
enum class Action : uint8_t { kFail, kFrame, kHuffman, kQuant, kRestart, kScan, kApp0, kNothing, kSkip };

constexpr std::array<Action, 256> MakeActions()
{
    std::array<Action, 256> a{};  // everything else fails the decode
    a[0xC0] = a[0xC1] = Action::kFrame;
    a[0xC4] = Action::kHuffman;
    a[0xDB] = Action::kQuant;
    a[0xDD] = Action::kRestart;
    a[0xDA] = Action::kScan;
    a[0xE0] = Action::kApp0;
    a[0xD8] = a[0xD9] = Action::kNothing;
    a[0xDF] = a[0x01] = a[0x02] = a[0xBF] = Action::kSkip;
    for (int m = 0xE1; m <= 0xFE; ++m)
        a[m] = Action::kSkip;
    return a;
}
constexpr std::array<Action, 256> kActions = MakeActions();

constexpr int kLookBits = 9;       // Huffman codes up to this length decode with one look-up
constexpr size_t kBufferSize = 16384;
constexpr size_t kKeepBack = 32;   // bytes kept across refills so the bit reader can step back

// --- Huffman tables ---------------------------------------------------------------

struct HuffmanTable {
    bool present = false;
    int32_t count[17] = {};   // codes per length 1..16
    int32_t first[17] = {};   // first code of each length
    int32_t offset[17] = {};  // index of its first symbol
    uint8_t symbols[16 * 255] = {};
    // For every kLookBits-bit prefix: the length (0: longer or no code) and
    // symbol the bit-serial search finds within the prefix.
    uint8_t look_length[1 << kLookBits] = {};
    uint8_t look_symbol[1 << kLookBits] = {};

    // The bit-serial match at length L, or -1.
    int Match(int length, int32_t code) const
    {
        if (count[length] != 0 && code >= first[length] && code - first[length] < count[length])
            return symbols[offset[length] + code - first[length]];
        return -1;
    }

    void BuildLookup()
    {
        for (int p = 0; p < (1 << kLookBits); ++p) {
            look_length[p] = 0;
            for (int len = 1; len <= kLookBits; ++len) {
                const int s = Match(len, p >> (kLookBits - len));
                if (s >= 0) {
                    look_length[p] = uint8_t(len);
                    look_symbol[p] = uint8_t(s);
                    break;
                }
            }
        }
    }
};

// --- inverse DCT --------------------------------------------------------------------

// The products of the AAN butterflies: (v x K) / 256, truncated toward zero.
inline int16_t Mul(int16_t v, int32_t k) { return int16_t(int32_t(v) * k / 256); }
inline int16_t W(int v) { return int16_t(v); }  // 16-bit wrap of sums and differences

// One 8-point AAN pass over x[0], x[step], ..., x[7 step] (x[0] the lowest
// frequency) into y[0..7].
inline void AanPass(const int16_t* x, int step, int16_t* y)
{
    const int16_t x0 = x[0], x1 = x[step], x2 = x[2 * step], x3 = x[3 * step];
    const int16_t x4 = x[4 * step], x5 = x[5 * step], x6 = x[6 * step], x7 = x[7 * step];
    const int16_t a = W(x0 + x4), b = W(x0 - x4), c = W(x2 + x6);
    const int16_t d = W(Mul(W(x2 - x6), 362) - c);
    const int16_t e0 = W(a + c), e3 = W(a - c), e1 = W(b + d), e2 = W(b - d);
    const int16_t z13 = W(x5 + x3), z10 = W(x5 - x3), z11 = W(x1 + x7), z12 = W(x1 - x7);
    const int16_t o7 = W(z11 + z13);
    const int16_t z5 = Mul(W(z10 + z12), 473);
    const int16_t o6 = W(W(z5 - Mul(z10, 668)) - o7);
    const int16_t o5 = W(Mul(W(z11 - z13), 362) - o6);
    const int16_t o4 = W(W(Mul(z12, 277) - z5) + o5);
    y[0] = W(e0 + o7);
    y[7] = W(e0 - o7);
    y[1] = W(e1 + o6);
    y[6] = W(e1 - o6);
    y[2] = W(e2 + o5);
    y[5] = W(e2 - o5);
    y[4] = W(e3 + o4);
    y[3] = W(e3 - o4);
}

inline int8_t ClampSample(int v) { return int8_t(v < -128 ? -128 : v > 127 ? 127 : v); }

// Columns into a temporary block, then rows, each output divided by 8 and
// clamped into the plane. A column or row without AC terms yields its DC
// term everywhere, which the butterflies give too; it is taken directly.
void InverseDct(const int16_t* coef, int8_t* out, size_t stride)
{
    int16_t tmp[64];
    for (int c = 0; c < 8; ++c) {
        const int16_t* x = coef + c;
        if ((x[8] | x[16] | x[24] | x[32] | x[40] | x[48] | x[56]) == 0) {
            for (int i = 0; i < 8; ++i)
                tmp[i * 8 + c] = x[0];
            continue;
        }
        int16_t y[8];
        AanPass(x, 8, y);
        for (int i = 0; i < 8; ++i)
            tmp[i * 8 + c] = y[i];
    }
    for (int r = 0; r < 8; ++r) {
        const int16_t* x = tmp + r * 8;
        int8_t* o = out + size_t(r) * stride;
        if ((x[1] | x[2] | x[3] | x[4] | x[5] | x[6] | x[7]) == 0) {
            const int8_t v = ClampSample(x[0] / 8);
            for (int i = 0; i < 8; ++i)
                o[i] = v;
            continue;
        }
        int16_t y[8];
        AanPass(x, 1, y);
        for (int i = 0; i < 8; ++i)
            o[i] = ClampSample(y[i] / 8);
    }
}

// --- decoder state ------------------------------------------------------------------

struct Component {
    int id = 0;
    int h = 1, v = 1;         // sampling factors
    int tq = 0;               // quantisation selector
    int hrep = 1, vrep = 1;   // replication: largest factor / own factor
    int plane_width = 0, plane_height = 0;
    std::unique_ptr<int8_t[]> plane;  // samples minus 128
    int32_t predictor = 0;
    int dc = 0, ac = 0;       // table selectors of the current scan
};

class CJpegDecoder {
public:
    explicit CJpegDecoder(FILE* file) : m_file(file) {}
    TBitmap* Decode();

private:
    // input stream
    bool Refill();
    bool Byte(uint8_t& out)
    {
        if (m_pos == m_fill && !Refill())
            return false;
        out = m_buf[m_pos++];
        return true;
    }
    bool Word(uint16_t& out)
    {
        uint8_t hi, lo;
        if (!Byte(hi) || !Byte(lo))
            return false;
        out = uint16_t(hi << 8 | lo);
        return true;
    }
    bool Skip(uint32_t n)
    {
        uint8_t b;
        while (n-- > 0)
            if (!Byte(b))
                return false;
        return true;
    }
    uint64_t Position() const { return m_base + m_pos; }
    bool FindMarker(uint16_t& marker);

    // segments
    bool App0();
    bool RestartInterval();
    bool QuantTables();
    bool HuffmanTables();
    bool Frame();
    bool Scan();

    // bit reader and entropy decoding
    void Fill();
    void AlignBitReader();
    bool Bits(int n, int32_t& out);
    int Symbol(const HuffmanTable& t);
    bool DecodeBlock(Component& c, int16_t* coef);

    TBitmap* Output();

    FILE* m_file;
    uint64_t m_size_limit = 0;  // bytes from the start to the end of the stream
    uint8_t m_buf[kBufferSize + kKeepBack];
    size_t m_pos = 0, m_fill = 0;
    uint64_t m_base = 0;  // stream offset of m_buf[0]

    int32_t m_quant[4][64] = {};
    HuffmanTable m_dc[4], m_ac[4];

    bool m_frame = false;
    int m_precision = 8, m_width = 0, m_height = 0, m_count = 0;
    Component m_comp[3];
    int m_mcus_per_row = 0, m_mcus = 0;
    uint16_t m_interval = 0;
    bool m_restarts = false;

    uint64_t m_acc = 0;       // pending bits, most significant first
    int m_bits = 0;           // number of pending bits
    uint64_t m_starts[16] = {};  // stream offsets of the last bytes taken into m_acc
    uint32_t m_taken = 0;
    bool m_input_end = false;
};

// --- input stream ---------------------------------------------------------------------

// Keeps the last bytes of the old buffer in front of the new data, so a
// step back by a few bytes never needs a seek.
bool CJpegDecoder::Refill()
{
    if (m_fill >= kKeepBack) {
        std::memmove(m_buf, m_buf + m_fill - kKeepBack, kKeepBack);
        m_base += m_fill - kKeepBack;
        m_pos = m_fill = kKeepBack;
    }
    const size_t got = std::fread(m_buf + m_fill, 1, kBufferSize, m_file);
    m_fill += got;
    return got > 0;
}

// Pairs of bytes are read until one is 0xFF followed by neither 0x00 nor
// 0xFF; runs of 0xFF are fill bytes.
bool CJpegDecoder::FindMarker(uint16_t& marker)
{
    uint8_t a, b;
    if (!Byte(a) || !Byte(b))
        return false;
    while (!(a == 0xFF && b != 0x00 && b != 0xFF)) {
        if (a == 0xFF && b == 0xFF) {
            if (!Byte(b))
                return false;
        } else if (!Byte(a) || !Byte(b)) {
            return false;
        }
    }
    marker = uint16_t(0xFF00 | b);
    return true;
}

// --- marker handlers ------------------------------------------------------------------

bool CJpegDecoder::App0()
{
    uint16_t length;
    uint8_t id[5], major, minor;
    if (!Word(length) || length < 16)
        return false;
    for (uint8_t& c : id)
        if (!Byte(c))
            return false;
    if (std::memcmp(id, "JFIF", 5) != 0 || !Byte(major) || !Byte(minor) || major != 1 || minor > 2)
        return false;
    return Skip(length - 9u);
}

bool CJpegDecoder::RestartInterval()
{
    uint16_t length;
    if (!Word(length) || length <= 3 || !Word(m_interval))
        return false;
    m_restarts = m_interval != 0;
    return Skip(length - 4u);
}

bool CJpegDecoder::QuantTables()
{
    uint16_t length;
    if (!Word(length) || length < 2)
        return false;
    int n = length - 2;
    while (n >= 65) {
        uint8_t pqtq;
        if (!Byte(pqtq))
            return false;
        --n;
        const int pq = pqtq >> 4, tq = pqtq & 15;
        if (tq > 3 || pq > 1 || n < (pq ? 128 : 64))
            return false;
        for (int i = 0; i < 64; ++i) {
            uint16_t value;
            uint8_t b;
            if (pq) {
                if (!Word(value))
                    return false;
            } else {
                if (!Byte(b))
                    return false;
                value = b;
            }
            const int z = kZigzag[i];
            const float scaled = kAanScale[z / 8] * float(value) * kAanScale[z % 8] * 65536.0f;
            // A 16-bit table value can exceed the 32-bit range once scaled.
            m_quant[tq][i] = scaled >= 2147483520.0f ? INT32_MAX : int32_t(scaled);
        }
        n -= pq ? 128 : 64;
    }
    return Skip(uint32_t(n));  // stay aligned on the segment's end
}

bool CJpegDecoder::HuffmanTables()
{
    uint16_t length;
    if (!Word(length) || length < 2)
        return false;
    int n = length - 2;
    while (n > 16) {
        uint8_t tcth, counts[16];
        if (!Byte(tcth))
            return false;
        const int tc = tcth >> 4, th = tcth & 15;
        if (th > 3 || tc > 1)
            return false;
        int total = 0;
        for (uint8_t& c : counts) {
            if (!Byte(c))
                return false;
            total += c;
        }
        if (total > n - 17)
            return false;
        HuffmanTable& t = tc ? m_ac[th] : m_dc[th];
        int32_t code = 0, offset = 0;
        for (int len = 1; len <= 16; ++len) {
            t.count[len] = counts[len - 1];
            t.first[len] = code;
            t.offset[len] = offset;
            offset += counts[len - 1];
            code = (code + counts[len - 1]) * 2;
        }
        for (int i = 0; i < total; ++i)
            if (!Byte(t.symbols[i]))
                return false;
        t.present = true;
        t.BuildLookup();
        n -= 17 + total;
    }
    return Skip(uint32_t(n));
}

bool CJpegDecoder::Frame()
{
    uint16_t length, height, width;
    uint8_t precision, count;
    if (!Word(length) || length < 8 || !Byte(precision) || !Word(height) || !Word(width) || !Byte(count))
        return false;
    // 12-bit samples would not fit the 8-bit planes: refused, not decoded wrongly.
    if (precision != 8)
        return false;
    if ((height & 0x8000) || (width & 0x8000) || (count != 1 && count != 3) || length < 8 + 3 * count)
        return false;
    m_frame = false;
    int hmax = 1, vmax = 1;
    for (int i = 0; i < count; ++i) {
        uint8_t id, hv, tq;
        if (!Byte(id) || !Byte(hv) || !Byte(tq))
            return false;
        Component& c = m_comp[i];
        c = Component{};
        c.id = id;
        c.h = hv >> 4;
        c.v = hv & 15;
        c.tq = tq;
        const auto valid_factor = [](int f) { return f == 1 || f == 2 || f == 4; };
        if (id == 0 || id > count + 1 || !valid_factor(c.h) || !valid_factor(c.v) || tq > 3)
            return false;
        for (int j = 0; j < i; ++j)
            if (m_comp[j].id == id)  // scans name components by identifier
                return false;
        if (count == 1)
            c.h = c.v = 1;  // a lone component is coded block by block whatever its factors
        hmax = c.h > hmax ? c.h : hmax;
        vmax = c.v > vmax ? c.v : vmax;
    }
    if (!Skip(length - 8u - 3u * count))
        return false;
    m_precision = precision;
    m_width = width;
    m_height = height;
    m_count = count;
    m_mcus_per_row = (m_width + 8 * hmax - 1) / (8 * hmax);
    m_mcus = m_mcus_per_row * ((m_height + 8 * vmax - 1) / (8 * vmax));

    // Every block takes at least two bits (a DC and an end-of-block code),
    // so a file cannot describe more blocks than four per byte: a larger
    // claim is refused before its planes are allocated.
    uint64_t blocks = 0;
    for (int i = 0; i < count; ++i)
        blocks += uint64_t(m_mcus) * uint64_t(m_comp[i].h * m_comp[i].v);
    if (blocks > m_size_limit * 4 + 64)
        return false;

    for (int i = 0; i < count; ++i) {
        Component& c = m_comp[i];
        c.hrep = hmax / c.h;
        c.vrep = vmax / c.v;
        c.plane_width = ((m_width + c.hrep - 1) / c.hrep + 7) / 8 * 8;
        c.plane_height = ((m_height + c.vrep - 1) / c.vrep + 7) / 8 * 8;
        c.plane.reset(new (std::nothrow) int8_t[size_t(c.plane_width) * size_t(c.plane_height) + 1]());
        if (!c.plane)
            return false;
    }
    m_frame = true;
    return true;
}

bool CJpegDecoder::Scan()
{
    uint16_t length;
    uint8_t count;
    if (!m_frame || !Word(length) || length <= 5 || !Byte(count) || count != m_count || length < 6 + 2 * count)
        return false;
    Component* order[3] = {};
    for (int i = 0; i < count; ++i) {
        uint8_t id, tables;
        if (!Byte(id) || !Byte(tables))
            return false;
        Component* c = nullptr;
        for (int j = 0; j < m_count; ++j)
            if (m_comp[j].id == id)
                c = &m_comp[j];
        for (int j = 0; j < i; ++j)
            if (order[j] == c)
                c = nullptr;  // each component once
        if (!c)
            return false;
        c->dc = tables >> 4;
        c->ac = tables & 15;
        if (c->dc > 3 || c->ac > 3 || !m_dc[c->dc].present || !m_ac[c->ac].present)
            return false;
        order[i] = c;
    }
    if (!Skip(3u + (length - 6u - 2u * count)))  // spectral selection and approximation, unused
        return false;

    for (int i = 0; i < count; ++i)
        order[i]->predictor = 0;
    m_acc = 0;
    m_bits = 0;
    m_input_end = false;

    alignas(16) int16_t coef[64];
    for (int m = 0; m < m_mcus; ++m) {
        const int mcu_col = m % m_mcus_per_row, mcu_row = m / m_mcus_per_row;
        for (int i = 0; i < count; ++i) {
            Component& c = *order[i];
            for (int b = 0; b < c.h * c.v; ++b) {
                if (!DecodeBlock(c, coef))
                    return false;
                const int x = 8 * (mcu_col * c.h + b % c.h), y = 8 * (mcu_row * c.v + b / c.h);
                if (x < c.plane_width && y < c.plane_height)
                    InverseDct(coef, c.plane.get() + size_t(y) * size_t(c.plane_width) + size_t(x),
                               size_t(c.plane_width));
            }
        }
        if (m_restarts && (m + 1) % m_interval == 0 && m + 1 < m_mcus) {
            for (int i = 0; i < count; ++i)
                order[i]->predictor = 0;
            AlignBitReader();
            uint16_t marker;
            if (!FindMarker(marker) || marker < 0xFFD0 || marker > 0xFFD7)
                return false;
        }
    }
    AlignBitReader();  // hand the bytes after the entropy data back to the marker search
    return true;
}

// --- bit reader and entropy decoding ---------------------------------------------------

// Takes whole bytes into the accumulator. A 0x00 after 0xFF is stuffing and
// is dropped at once, so the stream position after the last byte taken is
// always where the next byte of the file starts.
void CJpegDecoder::Fill()
{
    while (m_bits <= 56 && !m_input_end) {
        const uint64_t start = Position();
        uint8_t b;
        if (!Byte(b)) {
            m_input_end = true;
            break;
        }
        if (b == 0xFF) {
            if (m_pos == m_fill)
                Refill();
            if (m_pos < m_fill && m_buf[m_pos] == 0x00)
                ++m_pos;
        }
        m_starts[m_taken++ & 15] = start;
        m_acc |= uint64_t(b) << (56 - m_bits);
        m_bits += 8;
    }
}

// Drops the bits left in the current byte and gives back the whole bytes
// taken ahead, as a reader taking one bit at a time would have left them.
void CJpegDecoder::AlignBitReader()
{
    const int ahead = m_bits / 8;
    if (ahead > 0)
        m_pos = size_t(m_starts[(m_taken - uint32_t(ahead)) & 15] - m_base);
    m_acc = 0;
    m_bits = 0;
    m_input_end = false;
}

bool CJpegDecoder::Bits(int n, int32_t& out)
{
    if (m_bits < n)
        Fill();
    if (m_bits < n)
        return false;
    out = n ? int32_t(m_acc >> (64 - n)) : 0;
    m_acc <<= n;
    m_bits -= n;
    return true;
}

// The symbol whose code comes next, exactly as a search growing the code by
// one bit and trying lengths 1 to 16 in turn finds it; -1 if none matches
// or the data runs out first.
int CJpegDecoder::Symbol(const HuffmanTable& t)
{
    if (m_bits < 16)
        Fill();
    if (m_bits >= 16) {
        const uint32_t peek = uint32_t(m_acc >> 48);
        const int len = t.look_length[peek >> (16 - kLookBits)];
        if (len) {
            m_acc <<= len;
            m_bits -= len;
            return t.look_symbol[peek >> (16 - kLookBits)];
        }
        for (int l = kLookBits + 1; l <= 16; ++l) {
            const int s = t.Match(l, int32_t(peek >> (16 - l)));
            if (s >= 0) {
                m_acc <<= l;
                m_bits -= l;
                return s;
            }
        }
        return -1;
    }
    int32_t code = 0;
    for (int l = 1; l <= 16; ++l) {
        if (m_bits == 0)
            return -1;
        code = code * 2 + int32_t(m_acc >> 63);
        m_acc <<= 1;
        --m_bits;
        const int s = t.Match(l, code);
        if (s >= 0)
            return s;
    }
    return -1;
}

inline int32_t Extend(int32_t v, int s) { return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v; }

// Dequantised into 16 bits through a 64-bit product: large tables wrap
// instead of overflowing.
inline int16_t Dequantise(int32_t v, int32_t q) { return int16_t((int64_t(v) * q + 0x8000) >> 16); }

bool CJpegDecoder::DecodeBlock(Component& c, int16_t* coef)
{
    std::memset(coef, 0, 64 * sizeof *coef);
    const int32_t* q = m_quant[c.tq];
    int s = Symbol(m_dc[c.dc]);
    if (s < 0 || s > 16)
        return false;
    int32_t v = 0;
    if (s) {
        if (!Bits(s, v))
            return false;
        v = Extend(v, s);
    }
    c.predictor = int32_t(uint32_t(c.predictor) + uint32_t(v));  // wraps, never overflows
    coef[0] = Dequantise(c.predictor, q[0]);

    const HuffmanTable& ac = m_ac[c.ac];
    for (int k = 1; k < 64;) {
        const int rs = Symbol(ac);
        if (rs < 0)
            return false;
        const int r = rs >> 4;
        s = rs & 15;
        if (s == 0) {
            if (r == 0)
                break;
            if (r != 15)
                return false;
            k += 16;
            if (k > 64)
                return false;
            continue;
        }
        k += r;
        if (k > 63 || !Bits(s, v))
            return false;
        coef[kZigzag[k]] = Dequantise(Extend(v, s), q[k]);
        ++k;
    }
    return true;
}

// --- colour output -------------------------------------------------------------------

int Log2(int f) { return f == 4 ? 2 : f == 2 ? 1 : 0; }

TBitmap* CJpegDecoder::Output()
{
    BitmapPtr bitmap(TBitmap::Create(m_width, m_height, m_count == 1, false, uint8_t(m_precision)));
    if (!bitmap)
        return nullptr;
    if (m_count == 1) {
        const Component& g = m_comp[0];
        for (int y = 0; y < m_height; ++y) {
            const int8_t* in = g.plane.get() + size_t(y) * size_t(g.plane_width);
            uint32_t* out = bitmap->Row(y);
            for (int x = 0; x < m_width; ++x)
                out[x] = uint32_t(uint8_t(in[x] + 128)) * 0x010101u | 0xFF000000u;
        }
        return bitmap.release();
    }

    // Y, Cb, Cr in frame order; each chroma sample covers hrep x vrep pixels.
    int t1[256], t2[256], t3[256], t4[256];
    for (int c = 0; c < 256; ++c) {
        const float a = float(c - 128);
        t1[c] = int(a * 1.402f);
        t2[c] = int(a * -0.34414f);
        t3[c] = int(a * -0.71414f);
        t4[c] = int(a * 1.772f);
    }
    uint8_t clamp[1024];
    for (int i = 0; i < 1024; ++i)
        clamp[i] = uint8_t(i < 384 ? 0 : i > 384 + 255 ? 255 : i - 384);
    const uint8_t* lim = clamp + 384;

    const Component &cy = m_comp[0], &cb = m_comp[1], &cr = m_comp[2];
    const int yh = Log2(cy.hrep), yv = Log2(cy.vrep), bh = Log2(cb.hrep), bv = Log2(cb.vrep);
    const int rh = Log2(cr.hrep), rv = Log2(cr.vrep);
    for (int y = 0; y < m_height; ++y) {
        const int8_t* py = cy.plane.get() + size_t(y >> yv) * size_t(cy.plane_width);
        const int8_t* pb = cb.plane.get() + size_t(y >> bv) * size_t(cb.plane_width);
        const int8_t* pr = cr.plane.get() + size_t(y >> rv) * size_t(cr.plane_width);
        uint32_t* out = bitmap->Row(y);
        for (int x = 0; x < m_width; ++x) {
            const int l = py[x >> yh] + 128, u = pb[x >> bh] + 128, w = pr[x >> rh] + 128;
            out[x] = uint32_t(lim[l + t1[w]]) | uint32_t(lim[l + t2[u] + t3[w]]) << 8 |
                     uint32_t(lim[l + t4[u]]) << 16 | 0xFF000000u;
        }
    }
    return bitmap.release();
}

// --- top level -------------------------------------------------------------------------

TBitmap* CJpegDecoder::Decode()
{
    m_size_limit = RemainingBytes(m_file);
    bool started = false;
    for (;;) {
        uint16_t marker;
        if (!FindMarker(marker))
            return nullptr;
        if (!started) {
            started = marker == 0xFFD8;
            continue;
        }
        if (marker == 0xFFD9)
            return m_frame ? Output() : nullptr;
        bool ok = false;
        switch (kActions[marker & 0xFF]) {
        case Action::kFail:
            return nullptr;
        case Action::kFrame:
            ok = Frame();
            break;
        case Action::kHuffman:
            ok = HuffmanTables();
            break;
        case Action::kQuant:
            ok = QuantTables();
            break;
        case Action::kRestart:
            ok = RestartInterval();
            break;
        case Action::kScan:
            ok = Scan();
            break;
        case Action::kApp0:
            ok = App0();
            break;
        case Action::kNothing:
            ok = true;
            break;
        case Action::kSkip: {
            uint16_t length;
            ok = Word(length) && length >= 2 && Skip(length - 2u);
            break;
        }
        }
        if (!ok)
            return nullptr;
    }
}

}  // namespace

TBitmap* ReadJPEG(FILE* file)
{
    if (!file)
        return nullptr;
    std::unique_ptr<CJpegDecoder> decoder(new (std::nothrow) CJpegDecoder(file));
    return decoder ? decoder->Decode() : nullptr;
}

TBitmap* ReadJPEG(const char* file_name)
{
    FILE* f = file_name ? std::fopen(file_name, "rb") : nullptr;
    if (!f)
        return nullptr;
    TBitmap* bitmap = ReadJPEG(f);
    std::fclose(f);
    return bitmap;
}
