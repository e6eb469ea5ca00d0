#include "DVIO/JSONParser.hpp"

#include <bit>
#include <charconv>
#include <cstring>
#include <deque>
#include <limits>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include <fast_float/fast_float.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "DVModel/UTF8.hpp"

namespace dv {

namespace {

void appendDecimal(std::string& text, std::int64_t value) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    text.append(buf, res.ptr);
}

std::string describe(const JSONParseError::Reason& reason, std::int64_t offset) {
    using Kind = JSONParseError::Kind;
    std::string text;
    switch (reason.kind) {
    case Kind::unexpectedByte: {
        auto byte = static_cast<unsigned>(reason.payload);
        if (byte >= 0x20 && byte <= 0x7E) {
            text = "Unexpected character '";
            text.push_back(static_cast<char>(byte));
            text += "' in JSON";
        } else {
            static constexpr char digits[] = "0123456789abcdef";
            text = "Unexpected byte 0x";
            if (byte >= 0x10) text.push_back(digits[byte >> 4]);
            text.push_back(digits[byte & 0xF]);
            text += " in JSON";
        }
        break;
    }
    case Kind::depthLimitExceeded:
        text = "JSON nested deeper than ";
        appendDecimal(text, reason.payload);
        text += " levels";
        break;
    case Kind::valueLimitExceeded:
        text = "JSON holds more than ";
        appendDecimal(text, reason.payload);
        text += " values at once";
        break;
    case Kind::unexpectedEndOfInput: text = "Unexpected end of JSON input"; break;
    case Kind::invalidNumber: text = "Invalid number in JSON"; break;
    case Kind::invalidEscape: text = "Bad escaped character in JSON"; break;
    case Kind::invalidUnicodeEscape: text = "Bad Unicode escape in JSON"; break;
    case Kind::controlCharacterInString: text = "Bad control character in string literal in JSON"; break;
    case Kind::trailingContent: text = "Unexpected non-whitespace character after JSON"; break;
    }
    text += " at byte ";
    appendDecimal(text, offset);
    return text;
}

using Kind = JSONParseError::Kind;
using Reason = JSONParseError::Reason;

inline bool isDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

inline int hexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr std::uint64_t broadcast(std::uint8_t b) { return 0x0101010101010101ULL * b; }
constexpr std::uint64_t kHigh = broadcast(0x80);

// Bit 7 of each byte of the result is set where `x` holds a zero byte (exact for the lowest
// such byte, which is all the scan needs).
inline std::uint64_t zeroBytes(std::uint64_t x) { return (x - broadcast(0x01)) & ~x & kHigh; }

// Ends the scan of a string's plain run: the first '"', '\\' or byte below 0x20 at or after
// `p`, or `end`. Sets `sawHigh` when a byte of 0x80 or above was passed over.
inline const std::uint8_t* scanPlain(const std::uint8_t* p, const std::uint8_t* end, bool& sawHigh) {
#if defined(__SSE2__)
    // Sixteen bytes a step where the processor has them; eight, then one, for the rest.
    {
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i backslash = _mm_set1_epi8('\\');
        const __m128i lastControl = _mm_set1_epi8(0x1F);
        const __m128i zero = _mm_setzero_si128();
        unsigned high = 0;
        while (end - p >= 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i control = _mm_cmpeq_epi8(_mm_subs_epu8(x, lastControl), zero);
            const __m128i stop =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, backslash)), control);
            const unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(stop));
            const unsigned highs = static_cast<unsigned>(_mm_movemask_epi8(x));
            if (stops != 0) {
                const unsigned index = static_cast<unsigned>(std::countr_zero(stops));
                high |= highs & ((1u << index) - 1);
                sawHigh = sawHigh || high != 0;
                return p + index;
            }
            high |= highs;
            p += 16;
        }
        sawHigh = sawHigh || high != 0;
    }
#endif
    std::uint64_t high = 0;
    while (std::endian::native == std::endian::little && end - p >= 8) {
        std::uint64_t x;
        std::memcpy(&x, p, 8);
        std::uint64_t stops = zeroBytes(x ^ broadcast('"')) | zeroBytes(x ^ broadcast('\\')) |
                              ((x - broadcast(0x20)) & ~x & kHigh);
        if (stops) {
            // A borrow can only raise false stops above the first true one, so the lowest bit
            // marks a real stop; only the bytes before it count for `high`.
            unsigned index = static_cast<unsigned>(std::countr_zero(stops)) / 8;
            if (index) high |= x & (kHigh >> (8 * (8 - index)));
            sawHigh = sawHigh || high != 0;
            return p + index;
        }
        high |= x;
        p += 8;
    }
    sawHigh = sawHigh || (high & kHigh) != 0;
    for (; p < end; ++p) {
        std::uint8_t c = *p;
        if (c == '"' || c == '\\' || c < 0x20) return p;
        if (c >= 0x80) sawHigh = true;
    }
    return p;
}

enum class Container : std::uint8_t { array, object };

// One open container: where its entries start on the shared value stack (and, for an object,
// on the key stack). Entries are gathered there and moved out once, at the closing bracket, so
// each array and object is allocated at its final size.
struct Frame {
    Container kind;
    std::size_t valueStart;
    std::size_t keyStart;
    std::size_t ownedKeyStart;
    bool mainList = false;  // its entries go to the list consumer
    std::int64_t heldBefore = 0;  // values held when it opened; a main list goes back to it per entry
};

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};


// The stacks of a parse, kept per thread so that their capacity carries over to the next parse.
struct Scratch {
    std::vector<Frame> frames;
    std::vector<JSONValue> values;
    // Member names: most are bytes of the input as they stand; one with escapes or repaired
    // UTF-8 is kept among the owned keys, whose texts stay in place while more are added.
    std::vector<std::string_view> keys;
    std::deque<std::string> ownedKeys;
};

class Parser {
public:
    Parser(const std::uint8_t* data, std::size_t size, std::int64_t maxDepth, std::int64_t maxValues, Scratch& scratch,
           JSONListConsumer* consumer)
        : begin_(data), p_(data), end_(data + size), maxDepth_(maxDepth), maxValues_(maxValues), frames_(scratch.frames),
          values_(scratch.values), keys_(scratch.keys), ownedKeys_(scratch.ownedKeys),
          consumer_(consumer) {}

    // Leaves the stacks empty, also after an error; very large ones give their memory back.
    ~Parser() {
        constexpr std::size_t kKeptCapacity = 1 << 16;
        frames_.clear();
        values_.clear();
        keys_.clear();
        ownedKeys_.clear();
        if (values_.capacity() > kKeptCapacity) std::vector<JSONValue>().swap(values_);
        if (keys_.capacity() > kKeptCapacity) std::vector<std::string_view>().swap(keys_);
        ownedKeys_.shrink_to_fit();
    }

    JSONValue run();

private:
    // Parsing stops at the first error; nothing of the partial value survives.
    [[noreturn]] void fail(Reason reason, const std::uint8_t* at) const {
        throw JSONParseError(reason, at - begin_);
    }
    [[noreturn]] void failEnd() const { fail(Reason::of(Kind::unexpectedEndOfInput), end_); }
    [[noreturn]] void failByte(const std::uint8_t* at) const { fail(Reason::unexpectedByte(*at), at); }

    void skipSpace() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
    }

    // The depth test comes before a bracket is accepted, empty containers included.
    void checkDepth() const {
        if (static_cast<std::int64_t>(frames_.size()) >= maxDepth_) fail(Reason::depthLimitExceeded(maxDepth_), p_);
    }

    // A value or member name ends just before p_ and is held from now on.
    void hold() {
        if (++held_ > maxValues_) fail(Reason::valueLimitExceeded(maxValues_), p_);
    }

    void readString(std::string& out);
    // A string value, p_ just past its opening quote, onto the value stack.
    void readStringValue();
    void readEscapedRest(std::string& out, const std::uint8_t* start);
    inline double readNumber();
    double readNumberFully();
    void readLiteral(const char* word, std::size_t length);
    void readKey();
    void closeObject(const Frame& frame);
    void closeArray(const Frame& frame);
    // Whether an array opening here is the consumer's main list; tells the consumer when it is.
    bool opensMainList();

    const std::uint8_t* begin_;
    const std::uint8_t* p_;
    const std::uint8_t* end_;
    std::int64_t maxDepth_;
    std::int64_t maxValues_;
    std::int64_t held_ = 0;

    std::vector<Frame>& frames_;
    std::vector<JSONValue>& values_;
    std::vector<std::string_view>& keys_;
    std::deque<std::string>& ownedKeys_;
    JSONListConsumer* consumer_;
    std::string buffer_;  // reused by strings that hold escapes
};

void Parser::readStringValue() {
    const std::uint8_t* start = p_;
    bool sawHigh = false;
    const std::uint8_t* stop = scanPlain(p_, end_, sawHigh);
    if (stop != end_ && *stop == '"') {
        std::string_view raw(reinterpret_cast<const char*>(start), static_cast<std::size_t>(stop - start));
        if (!sawHigh || isValidUTF8(raw)) {
            values_.emplace_back(raw);
            p_ = stop + 1;
            return;
        }
    }
    // Repairs, escapes and errors take the general road, which scans the plain run again.
    readString(*values_.emplace_back(std::string()).stringValue());
}

void Parser::readString(std::string& out) {
    // p_ is just past the opening quote.
    const std::uint8_t* start = p_;
    bool sawHigh = false;
    const std::uint8_t* stop = scanPlain(p_, end_, sawHigh);
    if (stop == end_) failEnd();
    if (*stop == '"') {
        std::string_view raw(reinterpret_cast<const char*>(start), static_cast<std::size_t>(stop - start));
        if (!sawHigh || isValidUTF8(raw))
            out.assign(raw);
        else
            out = repairUTF8(raw);
        p_ = stop + 1;
        return;
    }
    if (*stop != '\\') fail(Reason::of(Kind::controlCharacterInString), stop);
    p_ = stop;
    readEscapedRest(out, start);
}

void Parser::readEscapedRest(std::string& out, const std::uint8_t* start) {
    buffer_.assign(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p_ - start));
    auto readUnit = [this](const std::uint8_t* at) {
        // `at` points at the first of four hex digits.
        unsigned unit = 0;
        for (int i = 0; i < 4; ++i) {
            if (at + i >= end_) failEnd();
            int v = hexDigit(at[i]);
            if (v < 0) fail(Reason::of(Kind::invalidUnicodeEscape), at + i);
            unit = unit * 16 + static_cast<unsigned>(v);
        }
        return unit;
    };
    for (;;) {
        bool sawHigh = false;
        const std::uint8_t* stop = scanPlain(p_, end_, sawHigh);
        buffer_.append(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(stop - p_));
        p_ = stop;
        if (p_ == end_) failEnd();
        std::uint8_t c = *p_;
        if (c == '"') {
            ++p_;
            if (isValidUTF8(buffer_))
                out.assign(buffer_);
            else
                out = repairUTF8(buffer_);
            return;
        }
        if (c < 0x20) fail(Reason::of(Kind::controlCharacterInString), p_);
        // A backslash.
        ++p_;
        if (p_ == end_) failEnd();
        switch (*p_) {
        case '"': buffer_.push_back('"'); ++p_; break;
        case '\\': buffer_.push_back('\\'); ++p_; break;
        case '/': buffer_.push_back('/'); ++p_; break;
        case 'b': buffer_.push_back('\b'); ++p_; break;
        case 'f': buffer_.push_back('\f'); ++p_; break;
        case 'n': buffer_.push_back('\n'); ++p_; break;
        case 'r': buffer_.push_back('\r'); ++p_; break;
        case 't': buffer_.push_back('\t'); ++p_; break;
        case 'u': {
            unsigned unit = readUnit(p_ + 1);
            p_ += 5;
            char32_t cp = unit;
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                cp = kReplacementCharacter;
            } else if (unit >= 0xD800 && unit <= 0xDBFF) {
                cp = kReplacementCharacter;
                // Joins only with an immediately following escaped low surrogate; anything
                // else is read normally afterwards.
                if (end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
                    unsigned low = 0;
                    bool hex = true;
                    for (int i = 0; i < 4 && hex; ++i) {
                        int v = hexDigit(p_[2 + i]);
                        hex = v >= 0;
                        low = low * 16 + static_cast<unsigned>(v < 0 ? 0 : v);
                    }
                    if (hex && low >= 0xDC00 && low <= 0xDFFF) {
                        cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                        p_ += 6;
                    }
                }
            }
            appendUTF8(buffer_, cp);
            break;
        }
        default:
            fail(Reason::of(Kind::invalidEscape), p_);
        }
    }
}

double Parser::readNumber() {
    // The common short number (at most 15 digits, no exponent) is read here in one pass; any
    // other form, and any error, is read again from its start by the full reading.
    const std::uint8_t* p = p_;
    const bool negative = *p == '-';
    p += negative;
    const std::uint8_t* digitsStart = p;
    std::uint64_t mantissa = 0;
    // Far enough from the end that the bounded loops below cannot pass it.
    if (end_ - p >= 40) {
        if (*p == '0') {
            ++p;
        } else {
            while (p - digitsStart < 16 && isDigit(*p)) mantissa = mantissa * 10 + (*p++ - '0');
        }
        std::ptrdiff_t digits = p - digitsStart;
        std::ptrdiff_t fractionDigits = 0;
        if (*p == '.' && digits > 0 && digits <= 15) {
            const std::uint8_t* fractionStart = ++p;
            while (p - fractionStart < 16 && isDigit(*p)) mantissa = mantissa * 10 + (*p++ - '0');
            fractionDigits = p - fractionStart;
            digits += fractionDigits;
        }
        const std::uint8_t next = *p;
        if (digits > 0 && digits <= 15 && (fractionDigits > 0 || p[-1] != '.') && !isDigit(next) && next != '.' &&
            (next | 0x20) != 'e') {
            p_ = p;
            // At most 15 digits fit a double exactly, and so does a power of ten up to 1e22:
            // one division rounds correctly.
            double out = static_cast<double>(mantissa);
            if (fractionDigits) out /= kExactPowersOfTen[fractionDigits];
            return negative ? -out : out;
        }
    }
    return readNumberFully();
}

double Parser::readNumberFully() {
    const std::uint8_t* start = p_;
    bool negative = false;
    if (*p_ == '-') {
        negative = true;
        ++p_;
    }
    if (p_ == end_ || !isDigit(*p_)) fail(Reason::of(Kind::invalidNumber), p_);
    // The digits are gathered while the grammar is checked; at most 15 of them fit a double exactly.
    std::uint64_t mantissa = 0;
    std::int64_t digits = 0;
    auto takeDigits = [&] {
        while (p_ < end_ && isDigit(*p_)) {
            if (digits < 19) mantissa = mantissa * 10 + (*p_ - '0');
            ++digits;
            ++p_;
        }
    };
    const std::uint8_t* intStart = p_;
    if (*p_ == '0') {
        ++p_;
        ++digits;
    } else {
        takeDigits();
    }
    const std::uint8_t* intEnd = p_;
    std::int64_t fractionDigits = 0;
    if (p_ < end_ && *p_ == '.') {
        ++p_;
        if (p_ == end_ || !isDigit(*p_)) fail(Reason::of(Kind::invalidNumber), p_);
        std::int64_t before = digits;
        takeDigits();
        fractionDigits = digits - before;
    }
    const std::uint8_t* expStart = nullptr;
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
        ++p_;
        if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
        if (p_ == end_ || !isDigit(*p_)) fail(Reason::of(Kind::invalidNumber), p_);
        expStart = p_;
        while (p_ < end_ && isDigit(*p_)) ++p_;
    }

    // An integer of at most 15 digits is exact; so is a plain decimal of at most 15 digits
    // divided by its exact power of ten, where one division rounds correctly.
    if (!expStart && digits <= 15) {
        double out = static_cast<double>(mantissa);
        if (fractionDigits) out /= kExactPowersOfTen[fractionDigits];
        return negative ? -out : out;
    }
    // Up to 19 digits the gathered mantissa is exact, and the decimal exponent is at hand: the
    // binary value follows from one wide multiplication, unless it lies too close to a halfway
    // point to tell, which the full reading below settles.
    if (digits <= 19 && (!expStart || p_ - expStart <= 6)) {
        std::int64_t exponent = 0;
        if (expStart) {
            for (const std::uint8_t* d = expStart; d < p_; ++d) exponent = exponent * 10 + (*d - '0');
            if (expStart[-1] == '-') exponent = -exponent;
        }
        exponent -= fractionDigits;
        const fast_float::adjusted_mantissa am =
            fast_float::compute_float<fast_float::binary_format<double>>(exponent, mantissa);
        if (am.power2 >= 0) {
            double out;
            fast_float::to_float(negative, am, out);
            return out;
        }
    }

    const char* first = reinterpret_cast<const char*>(start);
    const char* last = reinterpret_cast<const char*>(p_);
    double out = 0;
    // Correctly rounded for any number of digits; what it cannot take goes the standard way.
    auto fast = fast_float::from_chars(first, last, out);
    if (fast.ec == std::errc() && fast.ptr == last) return out;
    auto res = std::from_chars(first, last, out, std::chars_format::general);
    if (res.ec == std::errc() && res.ptr == last) return out;
    if (res.ec != std::errc::result_out_of_range || res.ptr != last) fail(Reason::of(Kind::invalidNumber), start);

    // Out of range: the magnitude either overflows or underflows. Find the decimal exponent
    // of the leading significant digit: value = 0.d1d2... x 10^e.
    std::int64_t e = 0;
    bool found = false;
    for (const std::uint8_t* d = intStart; d < intEnd; ++d) {
        if (found || *d != '0') {
            found = true;
            ++e;
        }
    }
    if (!found && intEnd < end_ && *intEnd == '.') {
        for (const std::uint8_t* d = intEnd + 1; d < end_ && isDigit(*d); ++d) {
            if (*d != '0') break;
            --e;
        }
    }
    if (expStart) {
        bool expNegative = expStart[-1] == '-';
        std::int64_t exp = 0;
        for (const std::uint8_t* d = expStart; d < p_; ++d)
            if (exp < 1'000'000'000) exp = exp * 10 + (*d - '0');
        e += expNegative ? -exp : exp;
    }
    double magnitude = e > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
}

void Parser::readLiteral(const char* word, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (p_ + i >= end_) failEnd();
        if (p_[i] != static_cast<std::uint8_t>(word[i])) failByte(p_ + i);
    }
    p_ += length;
}

void Parser::readKey() {
    // White space before the key has been skipped.
    if (p_ == end_) failEnd();
    if (*p_ != '"') failByte(p_);
    ++p_;
    const std::uint8_t* start = p_;
    bool sawHigh = false;
    const std::uint8_t* stop = scanPlain(p_, end_, sawHigh);
    if (stop < end_ && *stop == '"' &&
        (!sawHigh || isValidUTF8({reinterpret_cast<const char*>(start), static_cast<std::size_t>(stop - start)}))) {
        keys_.emplace_back(reinterpret_cast<const char*>(start), static_cast<std::size_t>(stop - start));
        p_ = stop + 1;
    } else {
        // Escapes, repairs and errors take the road of string values.
        std::string key;
        readString(key);
        keys_.emplace_back(ownedKeys_.emplace_back(std::move(key)));
    }
    hold();
    skipSpace();
    if (p_ == end_) failEnd();
    if (*p_ != ':') failByte(p_);
    ++p_;
}

bool Parser::opensMainList() {
    if (consumer_ == nullptr) return false;
    // The key of a member being read is the last one on the key stack.
    const bool atTop = frames_.empty() || (frames_.size() == 1 && frames_.front().kind == Container::object &&
                                           keys_.back() == consumer_->listKey());
    if (atTop) consumer_->beginList();
    return atTop;
}

void Parser::closeObject(const Frame& frame) {
    const auto first = values_.begin() + static_cast<std::ptrdiff_t>(frame.valueStart);
    // Members are set in order, so a repeated key keeps its first place and takes its last value.
    const std::span<const std::string_view> keys = std::span(keys_).subspan(frame.keyStart);
    JSONObject object(keys, std::span(first, values_.end()));
    keys_.resize(frame.keyStart);
    ownedKeys_.resize(frame.ownedKeyStart);
    values_.erase(first, values_.end());
    values_.emplace_back(std::move(object));
}

void Parser::closeArray(const Frame& frame) {
    const auto first = values_.begin() + static_cast<std::ptrdiff_t>(frame.valueStart);
    JSONValue::Array items(std::make_move_iterator(first), std::make_move_iterator(values_.end()));
    values_.erase(first, values_.end());
    values_.emplace_back(std::move(items));
}

JSONValue Parser::run() {
    for (;;) {
        // Read one value onto the value stack, or open a container and go round for its first entry.
        skipSpace();
        if (p_ == end_) failEnd();
        switch (*p_) {
        case '[': {
            checkDepth();
            ++p_;
            const bool mainList = opensMainList();
            skipSpace();
            if (p_ < end_ && *p_ == ']') {
                ++p_;
                values_.emplace_back(JSONValue::Array());
                break;
            }
            frames_.push_back({Container::array, values_.size(), keys_.size(), ownedKeys_.size(), mainList, held_});
            continue;
        }
        case '{':
            checkDepth();
            ++p_;
            skipSpace();
            if (p_ < end_ && *p_ == '}') {
                ++p_;
                values_.emplace_back(JSONObject());
                break;
            }
            frames_.push_back({Container::object, values_.size(), keys_.size(), ownedKeys_.size()});
            readKey();
            continue;
        case '"':
            ++p_;
            readStringValue();
            break;
        case 't':
            readLiteral("true", 4);
            values_.emplace_back(true);
            break;
        case 'f':
            readLiteral("false", 5);
            values_.emplace_back(false);
            break;
        case 'n':
            readLiteral("null", 4);
            values_.emplace_back(nullptr);
            break;
        default:
            if (*p_ != '-' && !isDigit(*p_)) failByte(p_);
            values_.emplace_back(readNumber());
            break;
        }

        // Hand the value on top of the stack to the innermost open container until one wants
        // another entry.
        for (;;) {
            hold();
            skipSpace();
            if (frames_.empty()) {
                if (p_ != end_) fail(Reason::of(Kind::trailingContent), p_);
                return std::move(values_.back());
            }
            const Frame& frame = frames_.back();
            if (frame.mainList) {
                consumer_->takeEntry(std::move(values_.back()));
                values_.pop_back();
                held_ = frame.heldBefore;
            }
            if (p_ == end_) failEnd();
            if (frame.kind == Container::object) {
                if (*p_ == ',') {
                    ++p_;
                    skipSpace();
                    readKey();
                    break;
                }
                if (*p_ != '}') failByte(p_);
                ++p_;
                closeObject(frame);
            } else {
                if (*p_ == ',') {
                    ++p_;
                    // Numbers in a row, as point lists hold them, skip the general dispatch.
                    if (p_ < end_ && (isDigit(*p_) || *p_ == '-')) {
                        values_.emplace_back(readNumber());
                        continue;
                    }
                    break;
                }
                if (*p_ != ']') failByte(p_);
                ++p_;
                closeArray(frame);
            }
            frames_.pop_back();
        }
    }
}

}  // namespace

JSONParseError::JSONParseError(Reason reason, std::int64_t offset)
    : reason_(reason), offset_(offset), message_(describe(reason, offset)) {}

JSONValue JSONParser::parse(std::string_view text, std::int64_t maxDepth, std::int64_t maxValues) {
    return parse(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), maxDepth, maxValues);
}

JSONValue JSONParser::parse(std::span<const std::uint8_t> data, std::int64_t maxDepth, std::int64_t maxValues) {
    thread_local Scratch scratch;
    return Parser(data.data(), data.size(), maxDepth, maxValues, scratch, nullptr).run();
}

JSONValue JSONParser::parse(std::span<const std::uint8_t> data, JSONListConsumer& consumer, std::int64_t maxDepth,
                            std::int64_t maxValues) {
    // Stacks of its own: the consumer may parse other documents on this thread while it works.
    Scratch scratch;
    return Parser(data.data(), data.size(), maxDepth, maxValues, scratch, &consumer).run();
}

}  // namespace dv
