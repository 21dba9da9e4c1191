// JPEG decoder. Sections, in order: constants, Huffman tables, inverse DCT
// (the transform itself is in jpeg_idct.cpp), decoder state, input stream,
// marker handlers (APP0, DRI, DQT, DHT, SOF, SOS), bit reader and entropy
// decoding, colour output, top level.
#include "image/jpeg_decoder.h"

#include "image/image_input.h"
#include "image/jpeg_idct.h"

#include <algorithm>
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
enum class Action : uint8_t {
    kFail,         // not a marker that may appear here: corrupt data
    kProgressive,  // progressive frames, refused
    kRefuse,       // other frame kinds (lossless, hierarchical, arithmetic), refused
    kFrame,
    kHuffman,
    kQuant,
    kRestart,
    kScan,
    kApp0,
    kNothing,
    kSkip
};

constexpr std::array<Action, 256> MakeActions()
{
    std::array<Action, 256> a{};  // everything else fails the decode
    for (int m : {0xC3, 0xC5, 0xC7, 0xC8, 0xC9, 0xCB, 0xCC, 0xCD, 0xCF, 0xDC, 0xDE})
        a[m] = Action::kRefuse;
    for (int m : {0xC2, 0xC6, 0xCA, 0xCE})
        a[m] = Action::kProgressive;
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
constexpr int32_t kEndOfBlock = 0x4000;  // flag in HuffmanTable::look_coefficient
constexpr size_t kBufferSize = 16384;
constexpr size_t kKeepBack = 32;   // bytes kept across refills so the bit reader can step back
// Longest stretch of bytes the marker search passes over; a stream that
// goes on longer without a marker (/dev/zero, say) is not JPEG data.
constexpr uint64_t kMaxMarkerSearch = 1u << 20;

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
    // For AC tables: when a prefix holds a whole code with a non-zero size
    // and its extra bits, value x 65536 + run x 256 + bits used; for the
    // end-of-block code, kEndOfBlock + its length; else 0.
    int32_t look_coefficient[1 << kLookBits] = {};

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
            look_coefficient[p] = 0;
            const int len = look_length[p], size = look_symbol[p] & 15, run = look_symbol[p] >> 4;
            if (len && size && len + size <= kLookBits) {
                const int32_t extra = (p >> (kLookBits - len - size)) & ((1 << size) - 1);
                const int32_t v = extra < (1 << (size - 1)) ? extra - (1 << size) + 1 : extra;
                look_coefficient[p] = v * 65536 + run * 256 + len + size;
            } else if (len && look_symbol[p] == 0) {
                look_coefficient[p] = kEndOfBlock + len;
            }
        }
    }
};

// --- inverse DCT (image/jpeg_idct.h) -------------------------------------------------

// A block without AC terms comes out flat at its DC term / 8, which the
// transform gives too; it is taken directly.
void InverseDctBlock(const int16_t* coef, bool dc_only, int8_t* out, size_t stride)
{
    if (!dc_only) {
        InverseDct(coef, out, stride);
        return;
    }
    const int dc = coef[0] / 8;
    const int8_t v = int8_t(dc < -128 ? -128 : dc > 127 ? 127 : dc);
    for (int r = 0; r < 8; ++r)
        std::memset(out + size_t(r) * stride, static_cast<uint8_t>(v), 8);
}

// --- decoder state ------------------------------------------------------------------

// Pending entropy-coded bits, most significant first.
struct BitState {
    uint64_t acc = 0;
    int bits = 0;
};

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
    explicit CJpegDecoder(ImageInput& in) : m_in(in) {}
    BitmapPtr Decode();
    ImageError Error() const { return m_error; }

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
    // Records why the decode fails; returns false for the caller to pass on.
    bool Refuse(ImageError reason)
    {
        m_error = reason;
        return false;
    }

    // segments
    bool App0();
    bool RestartInterval();
    bool QuantTables();
    bool HuffmanTables();
    bool Frame();
    bool Scan();

    // bit reader and entropy decoding
    BitState Fill(BitState st);
    inline BitState Refill(BitState st);  // Fill, with a fast path for eight plain bytes
    void AlignBitReader();
    bool Bits(BitState& st, int n, int32_t& out);
    int Symbol(BitState& st, const HuffmanTable& t);
    // Decodes one block; `dc_only` tells that every AC coefficient is zero.
    bool DecodeBlock(Component& c, int16_t* coef, bool& dc_only);

    BitmapPtr Output();

    ImageInput& m_in;
    std::optional<uint64_t> m_size_limit;  // bytes from the start to the end, when known
    ImageError m_error = ImageError::kCorrupt;
    uint8_t m_buf[kBufferSize + kKeepBack];
    size_t m_pos = 0, m_fill = 0;
    uint64_t m_base = 0;  // stream offset of m_buf[0]

    int32_t m_quant[4][64] = {};
    HuffmanTable m_dc[4], m_ac[4];

    bool m_frame = false;
    bool m_scanned = false;  // a scan has filled every plane of the current frame
    int m_precision = 8, m_width = 0, m_height = 0, m_count = 0;
    Component m_comp[3];
    int m_mcus_per_row = 0, m_mcus = 0;
    uint16_t m_interval = 0;
    bool m_restarts = false;

    BitState m_state;
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
    const size_t got = m_in.ReadSome(m_buf + m_fill, kBufferSize);
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
    const uint64_t give_up = Position() + kMaxMarkerSearch;
    while (!(a == 0xFF && b != 0x00 && b != 0xFF)) {
        if (Position() > give_up)
            return false;
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
    if (precision == 12)
        return Refuse(ImageError::kUnsupported);
    if (precision != 8 || (height & 0x8000) || (width & 0x8000) || (count != 1 && count != 3) || length < 8 + 3 * count)
        return false;
    // A height of 0 would need a DNL marker, which is refused anyway.
    if (width == 0 || height == 0)
        return Refuse(ImageError::kZeroSide);
    if (!WithinPixelBudget(width, height))
        return Refuse(ImageError::kTooLarge);
    m_frame = false;
    m_scanned = false;
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
    if (m_size_limit && blocks > *m_size_limit * 4 + 64)
        return false;

    for (int i = 0; i < count; ++i) {
        Component& c = m_comp[i];
        c.hrep = hmax / c.h;
        c.vrep = vmax / c.v;
        c.plane_width = ((m_width + c.hrep - 1) / c.hrep + 7) / 8 * 8;
        c.plane_height = ((m_height + c.vrep - 1) / c.vrep + 7) / 8 * 8;
        // Filled by the scan (every block of the plane lies in some MCU).
        c.plane.reset(new (std::nothrow) int8_t[size_t(c.plane_width) * size_t(c.plane_height) + 1]);
        if (!c.plane)
            return Refuse(ImageError::kOutOfMemory);
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
    m_state = BitState{};
    m_input_end = false;

    alignas(16) int16_t coef[64];
    bool dc_only = false;
    int mcu_col = 0, mcu_row = 0, until_restart = m_interval;
    for (int m = 0; m < m_mcus; ++m) {
        for (int i = 0; i < count; ++i) {
            Component& c = *order[i];
            // Blocks in row-major order within the MCU.
            for (int by = 0; by < c.v; ++by)
                for (int bx = 0; bx < c.h; ++bx) {
                    if (!DecodeBlock(c, coef, dc_only))
                        return false;
                    const int x = 8 * (mcu_col * c.h + bx), y = 8 * (mcu_row * c.v + by);
                    if (x < c.plane_width && y < c.plane_height)
                        InverseDctBlock(coef, dc_only, c.plane.get() + size_t(y) * size_t(c.plane_width) + size_t(x),
                                   size_t(c.plane_width));
                }
        }
        if (++mcu_col == m_mcus_per_row) {
            mcu_col = 0;
            ++mcu_row;
        }
        if (m_restarts && --until_restart == 0 && m + 1 < m_mcus) {
            until_restart = m_interval;
            for (int i = 0; i < count; ++i)
                order[i]->predictor = 0;
            AlignBitReader();
            uint16_t marker;
            if (!FindMarker(marker) || marker < 0xFFD0 || marker > 0xFFD7)
                return false;
        }
    }
    AlignBitReader();  // hand the bytes after the entropy data back to the marker search
    m_scanned = true;
    return true;
}

// --- bit reader and entropy decoding ---------------------------------------------------

// Takes whole bytes into the accumulator. A 0x00 after 0xFF is stuffing and
// is dropped at once, so the stream position after the last byte taken is
// always where the next byte of the file starts.
BitState CJpegDecoder::Fill(BitState st)
{
    while (st.bits <= 56 && !m_input_end) {
        uint8_t b;
        if (m_pos + 2 <= m_fill) {
            b = m_buf[m_pos++];
            if (b == 0xFF && m_buf[m_pos] == 0x00)
                ++m_pos;
        } else {
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
        }
        st.acc |= uint64_t(b) << (56 - st.bits);
        st.bits += 8;
    }
    return st;
}

// Drops the bits left in the current byte and gives back the whole bytes
// taken ahead, as a reader taking one bit at a time would have left them.
// Walking back, a 0x00 after 0xFF was stuffing (always dropped with its
// 0xFF), so such a pair is one byte taken; the buffer keeps enough old
// bytes for this.
void CJpegDecoder::AlignBitReader()
{
    for (int ahead = m_state.bits / 8; ahead > 0 && m_pos > 0; --ahead)
        m_pos -= m_pos >= 2 && m_buf[m_pos - 1] == 0x00 && m_buf[m_pos - 2] == 0xFF ? 2 : 1;
    m_state = BitState{};
    m_input_end = false;
}

// Eight buffered bytes without 0xFF among them go in by whole bytes at
// once; anything else takes the byte-wise way.
inline BitState CJpegDecoder::Refill(BitState st)
{
    if (m_pos + 8 <= m_fill && st.bits <= 56) {
        uint64_t w;
        std::memcpy(&w, m_buf + m_pos, 8);
        constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
        if (((~w - kOnes) & w & kHighs) == 0) {  // no byte is 0xFF
            const int take = (64 - st.bits) / 8;
            const uint64_t bytes = __builtin_bswap64(w) >> st.bits;
            const int keep = st.bits + 8 * take;
            st.acc |= keep == 64 ? bytes : bytes & ~(~uint64_t(0) >> keep);
            st.bits = keep;
            m_pos += size_t(take);
            return st;
        }
    }
    return Fill(st);
}

inline bool CJpegDecoder::Bits(BitState& st, int n, int32_t& out)
{
    if (st.bits < n)
        st = Refill(st);
    if (st.bits < n)
        return false;
    out = n ? int32_t(st.acc >> (64 - n)) : 0;
    st.acc <<= n;
    st.bits -= n;
    return true;
}

// The symbol whose code comes next, exactly as a search growing the code by
// one bit and trying lengths 1 to 16 in turn finds it; -1 if none matches
// or the data runs out first.
inline int CJpegDecoder::Symbol(BitState& st, const HuffmanTable& t)
{
    if (st.bits < 16)
        st = Refill(st);
    if (st.bits >= 16) {
        const uint32_t peek = uint32_t(st.acc >> 48);
        const int len = t.look_length[peek >> (16 - kLookBits)];
        if (len) {
            st.acc <<= len;
            st.bits -= len;
            return t.look_symbol[peek >> (16 - kLookBits)];
        }
        for (int l = kLookBits + 1; l <= 16; ++l) {
            const int s = t.Match(l, int32_t(peek >> (16 - l)));
            if (s >= 0) {
                st.acc <<= l;
                st.bits -= l;
                return s;
            }
        }
        return -1;
    }
    int32_t code = 0;
    for (int l = 1; l <= 16; ++l) {
        if (st.bits == 0)
            return -1;
        code = code * 2 + int32_t(st.acc >> 63);
        st.acc <<= 1;
        --st.bits;
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

// Kept out of line: inlined into the scan loop it loses registers to it.
__attribute__((noinline)) bool CJpegDecoder::DecodeBlock(Component& c, int16_t* coef, bool& dc_only)
{
    std::memset(coef, 0, 64 * sizeof *coef);
    const int32_t* q = m_quant[c.tq];
    BitState st = m_state;  // kept in registers; written back at the end
    int s = Symbol(st, m_dc[c.dc]);
    if (s < 0 || s > 16)
        return false;
    int32_t v = 0;
    if (s) {
        if (!Bits(st, s, v))
            return false;
        v = Extend(v, s);
    }
    c.predictor = int32_t(uint32_t(c.predictor) + uint32_t(v));  // wraps, never overflows
    coef[0] = Dequantise(c.predictor, q[0]);

    const HuffmanTable& ac = m_ac[c.ac];
    int k = 1;
    while (k < 64) {
        if (st.bits < 16)
            st = Refill(st);
        // Short code and short value together: one look-up gives both.
        const int32_t e = ac.look_coefficient[st.acc >> (64 - kLookBits)];
        if (e != 0 && (e & 255) <= st.bits) {
            st.acc <<= (e & 255);
            st.bits -= (e & 255);
            if (e & kEndOfBlock)
                break;
            k += (e >> 8) & 15;
            if (k > 63)
                return false;
            coef[kZigzag[k]] = Dequantise(e >> 16, q[k]);
            ++k;
            continue;
        }
        const int rs = Symbol(st, ac);
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
        if (k > 63 || !Bits(st, s, v))
            return false;
        coef[kZigzag[k]] = Dequantise(Extend(v, s), q[k]);
        ++k;
    }
    dc_only = k == 1;
    m_state = st;
    return true;
}

// --- colour output -------------------------------------------------------------------

int Log2(int f) { return f == 4 ? 2 : f == 2 ? 1 : 0; }

BitmapPtr CJpegDecoder::Output()
{
    BitmapPtr bitmap(TBitmap::Create(m_width, m_height, m_count == 1, false, uint8_t(m_precision)));
    if (!bitmap) {
        Refuse(ImageError::kOutOfMemory);
        return nullptr;
    }
    // A frame without a scan has no samples: it shows as mid-grey rather
    // than as whatever the memory held.
    if (!m_scanned)
        for (int i = 0; i < m_count; ++i)
            std::memset(m_comp[i].plane.get(), 0, size_t(m_comp[i].plane_width) * size_t(m_comp[i].plane_height));
    if (m_count == 1) {
        const Component& g = m_comp[0];
        for (int y = 0; y < m_height; ++y) {
            const int8_t* in = g.plane.get() + size_t(y) * size_t(g.plane_width);
            uint32_t* out = bitmap->Row(y);
            for (int x = 0; x < m_width; ++x)
                out[x] = uint32_t(uint8_t(in[x] + 128)) * 0x010101u | 0xFF000000u;
        }
        return bitmap;
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
    // The chroma terms of a row are worked out once per chroma row, at
    // chroma resolution (a = sample - 128 is the plane value itself, and
    // float(a) x multiplier truncated is exactly the table entry); the
    // pixel loops are then plain arithmetic.
    const Component &cy = m_comp[0], &cb = m_comp[1], &cr = m_comp[2];
    const int yh = Log2(cy.hrep), yv = Log2(cy.vrep), bh = Log2(cb.hrep), bv = Log2(cb.vrep);
    const int rh = Log2(cr.hrep), rv = Log2(cr.vrep);
    const size_t w = size_t(m_width);
    const bool shared = bh == rh && bv == rv && yh == 0;  // both chroma planes alike, luma full width
    const size_t cw = shared ? (w + (size_t(1) << bh) - 1) >> bh : w;
    std::unique_ptr<int16_t[]> terms(new (std::nothrow) int16_t[3 * cw + 3]);
    if (!terms) {
        Refuse(ImageError::kOutOfMemory);
        return nullptr;
    }
    int16_t *red = terms.get(), *green = red + cw, *blue = green + cw;
    int last_b = -1, last_r = -1;
    const auto pixel = [](int l, int r, int g, int b) {
        return uint32_t(std::clamp(l + r, 0, 255)) | uint32_t(std::clamp(l + g, 0, 255)) << 8 |
               uint32_t(std::clamp(l + b, 0, 255)) << 16 | 0xFF000000u;
    };
    for (int y = 0; y < m_height; ++y) {
        const int8_t* py = cy.plane.get() + size_t(y >> yv) * size_t(cy.plane_width);
        const int8_t* pb = cb.plane.get() + size_t(y >> bv) * size_t(cb.plane_width);
        const int8_t* pr = cr.plane.get() + size_t(y >> rv) * size_t(cr.plane_width);
        uint32_t* out = bitmap->Row(y);
        if (!shared) {
            for (size_t x = 0; x < w; ++x) {
                const int l = py[x >> yh] + 128, u = pb[x >> bh] + 128, v = pr[x >> rh] + 128;
                out[x] = pixel(l, t1[v], t2[u] + t3[v], t4[u]);
            }
            continue;
        }
        if ((y >> bv) != last_b || (y >> rv) != last_r) {
            last_b = y >> bv;
            last_r = y >> rv;
            for (size_t j = 0; j < cw; ++j) {
                const float u = float(pb[j]), v = float(pr[j]);
                red[j] = int16_t(int(v * 1.402f));
                green[j] = int16_t(int(u * -0.34414f) + int(v * -0.71414f));
                blue[j] = int16_t(int(u * 1.772f));
            }
        }
        if (bh == 0) {
            for (size_t x = 0; x < w; ++x)
                out[x] = pixel(py[x] + 128, red[x], green[x], blue[x]);
        } else if (bh == 1) {
            for (size_t j = 0; j < w / 2; ++j) {
                out[2 * j] = pixel(py[2 * j] + 128, red[j], green[j], blue[j]);
                out[2 * j + 1] = pixel(py[2 * j + 1] + 128, red[j], green[j], blue[j]);
            }
            if (w & 1)
                out[w - 1] = pixel(py[w - 1] + 128, red[w / 2], green[w / 2], blue[w / 2]);
        } else {
            for (size_t x = 0; x < w; ++x)
                out[x] = pixel(py[x] + 128, red[x >> bh], green[x >> bh], blue[x >> bh]);
        }
    }
    return bitmap;
}

// --- top level -------------------------------------------------------------------------

BitmapPtr CJpegDecoder::Decode()
{
    m_size_limit = m_in.Remaining();
    bool started = false;
    for (;;) {
        uint16_t marker;
        if (!FindMarker(marker)) {
            Refuse(started ? ImageError::kCorrupt : ImageError::kNotJpeg);
            return nullptr;
        }
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
        // clang-format off: one layout for the whole switch
        case Action::kProgressive:
            Refuse(ImageError::kProgressiveJpeg);
            return nullptr;
        case Action::kRefuse:
            Refuse(ImageError::kUnsupported);
            return nullptr;
        // clang-format on
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

BitmapPtr ReadJPEG(ImageInput& in, ImageError* error)
{
    std::unique_ptr<CJpegDecoder> decoder(new (std::nothrow) CJpegDecoder(in));
    if (!decoder)
        return ImageFailure(error, ImageError::kOutOfMemory);
    BitmapPtr bitmap = decoder->Decode();
    if (!bitmap)
        return ImageFailure(error, decoder->Error());
    return bitmap;
}

BitmapPtr ReadJPEG(const char* file_name, ImageError* error)
{
    FilePtr f = OpenImageFile(file_name, error);
    if (!f)
        return nullptr;
    ImageInput in(f.get());
    return ReadJPEG(in, error);
}
