// SPDX-License-Identifier: Apache-2.0
// The capture-file reader: one line at a time, one entry (its line and the memory lines after
// it) at a time. See docs/CAPTURE-FORMAT.md for the format.
#include <array>
#include <bit>
#include <cstdio>
#include <istream>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <RizOrodOzido/capture.h>
#include "capture/find_byte.h"
#include "capture/timestamp.h"

namespace rizorod {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The value of every hexadecimal digit; -1 for every other character.
constexpr std::array<signed char, 256> kHexValues = [] {
    std::array<signed char, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<signed char>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<signed char>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<signed char>(c - 'A' + 10);
    return t;
}();

int hex_value(char c) { return kHexValues[static_cast<unsigned char>(c)]; }

std::string quoted(std::string_view text) {
    // Long or unprintable findings are shortened and escaped so that a message stays one line.
    constexpr std::size_t kMost = 40;
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < kMost; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.size() > kMost) out += "...";
    return out + "\"";
}

std::string hex8(std::uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(v));
    return text;
}

// The blank-separated words of a line.
class Words {
public:
    explicit Words(std::string_view text) : text_(text) {}
    // The next word, or an empty view at the end of the line.
    std::string_view next() {
        while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !is_blank(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }
    std::string_view peek() const {
        Words copy = *this;
        return copy.next();
    }
    // What is left of the line, without leading blanks.
    std::string_view rest() const {
        std::size_t p = pos_;
        while (p < text_.size() && is_blank(text_[p])) ++p;
        return text_.substr(p);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

struct Failure {
    std::string message;
};

bool looks_like_date(std::string_view w) {
    return w.size() >= 5 && is_digit(w[0]) && is_digit(w[1]) && is_digit(w[2]) && is_digit(w[3]) &&
           w[4] == '-';
}

// The bad word of a byte list that starts at `word`, as the message says it; `what` names the
// bytes ("record bytes", "memory bytes").
[[noreturn]] void bad_bytes(const char* word, const char* end, const char* what) {
    const char* w = word;
    while (w != end && !is_blank(*w)) ++w;
    const std::string_view text(word, static_cast<std::size_t>(w - word));
    for (char c : text)
        if (hex_value(c) < 0)
            throw Failure{std::string("expected ") + what + " in hexadecimal, found " + quoted(text)};
    throw Failure{std::string("expected ") + what +
                  " as pairs of hexadecimal digits, found an odd number of digits in " + quoted(text)};
}

#if defined(__SSE2__)
// Pairs of digits among blanks, 16 characters at a time, from `p` (a blank or the first digit of
// a pair) on. Returns where it stopped: at `end`, or where the pair-by-pair loop must go on
// (a character other than a digit or a blank, a digit without its pair, fewer than 16
// characters in all).
const char* parse_pairs(const char* p, const char* const end, std::uint8_t*& o) {
    if (end - p < 16) return p;
    const __m128i before_0 = _mm_set1_epi8('0' - 1), after_9 = _mm_set1_epi8('9' + 1);
    const __m128i before_a = _mm_set1_epi8('a' - 1), after_f = _mm_set1_epi8('f' + 1);
    const __m128i case_bit = _mm_set1_epi8(0x20), high_nibble = _mm_set1_epi8(static_cast<char>(0xf0));
    const __m128i zero_char = _mm_set1_epi8('0'), ten_below_a = _mm_set1_epi8('a' - 10);
    const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t');
    while (p != end) {
        // The last block of the text overlaps the one before; what was taken counts as blanks.
        const char* block = p;
        unsigned skip = 0;
        if (end - p < 16) {
            block = end - 16;
            skip = static_cast<unsigned>(p - block);
        }
        const unsigned fresh = 0xffffu & ~((1u << skip) - 1);
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
        const __m128i lower = _mm_or_si128(v, case_bit);
        // Signed compares: bytes from 0x80 up are neither digits nor letters.
        const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, before_0), _mm_cmplt_epi8(v, after_9));
        const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, before_a), _mm_cmplt_epi8(lower, after_f));
        const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab));
        const unsigned hex = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(digit, letter))) & fresh;
        const unsigned blanks = static_cast<unsigned>(_mm_movemask_epi8(blank)) | (~fresh & 0xffffu);
        if ((hex | blanks) != 0xffffu) return p;
        // Runs of digits pair up from their first digit: the first digit of each pair is at an
        // even place in runs that start at an even place, at an odd place in the others. Adding
        // the even starts carries through exactly the runs they start.
        const unsigned starts = hex & ~(hex << 1);
        const unsigned even_runs = hex & ~(hex + (starts & 0x5555u));
        unsigned first = (even_runs & 0x5555u) | (hex & ~even_runs & 0xaaaau);
        unsigned taken = 16;
        if (first & 0x8000u) {  // its pair goes on in the next block
            if (block + 15 == p) return p;  // the text ends in it
            first &= 0x7fffu;
            taken = 15;
        }
        if ((first << 1) != (hex & ~first & (taken == 16 ? 0xffffu : 0x7fffu))) return p;
        const __m128i value = _mm_or_si128(_mm_and_si128(digit, _mm_sub_epi8(v, zero_char)),
                                           _mm_andnot_si128(digit, _mm_sub_epi8(lower, ten_below_a)));
        const __m128i pairs = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(value, 4), high_nibble),
                                           _mm_srli_si128(value, 1));
        alignas(16) std::uint8_t bytes[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(bytes), pairs);
        for (; first != 0; first &= first - 1) *o++ = bytes[std::countr_zero(first)];
        p = block + taken;
    }
    return p;
}
#endif

// Hexadecimal bytes, in words of pairs of digits separated by blanks, appended to `out`; one
// pass over the text, and the message worked out only for a bad word.
void parse_bytes(std::string_view text, const char* what, std::vector<std::uint8_t>& out) {
    const std::size_t at = out.size();
    out.resize(at + text.size() / 2);  // at most one byte per two characters
    std::uint8_t* o = out.data() + at;
    const char* p = text.data();
    const char* const end = p + text.size();
#if defined(__SSE2__)
    p = parse_pairs(p, end, o);
#endif
    // Pair by pair, from the start of the word that p is in.
    const char* word = p;
    while (word != text.data() && !is_blank(word[-1])) --word;
    while (p != end) {
        if (is_blank(*p)) {
            word = ++p;
            continue;
        }
        // A pair of digits; a word may hold several pairs.
        if (end - p < 2) bad_bytes(word, end, what);
        const int hi = hex_value(p[0]), lo = hex_value(p[1]);
        if ((hi | lo) < 0) bad_bytes(word, end, what);
        *o++ = static_cast<std::uint8_t>(hi * 16 + lo);
        p += 2;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
}

// The text of a line without its comment and its line end.
std::string_view content(std::string_view line) {
    if (const char* hash = detail::find_byte(line.data(), line.data() + line.size(), '#'))
        line = line.substr(0, static_cast<std::size_t>(hash - line.data()));
    while (!line.empty() && (is_blank(line.back()) || line.back() == '\r')) line.remove_suffix(1);
    std::size_t first = 0;
    while (first < line.size() && is_blank(line[first])) ++first;
    return line.substr(first);
}

// The timestamp that begins with the word `w`, if `w` starts one: a time of day, or a date
// followed by a time (in `w` after a 'T', or as the next word). Throws Failure when it is bad.
bool read_stamp(std::string_view w, Words& words, Timestamp& t) {
    if (looks_like_date(w)) {
        std::string_view date = w, time;
        const std::size_t sep = w.find('T');
        if (sep != std::string_view::npos) {
            date = w.substr(0, sep);
            time = w.substr(sep + 1);
        }
        if (!detail::read_date(date, t)) throw Failure{"expected a date YYYY-MM-DD, found " + quoted(date)};
        if (sep == std::string_view::npos) {
            time = words.next();
            if (time.empty())
                throw Failure{"expected a time of day HH:MM:SS.mmm after the date, found the end of the line"};
        }
        if (!detail::read_time_of_day(time, t))
            throw Failure{"expected a time of day HH:MM:SS.mmm after the date, found " + quoted(time)};
        return true;
    }
    if (!w.empty() && is_digit(w[0]) && w.find(':') != std::string_view::npos) {
        if (!detail::read_time_of_day(w, t)) throw Failure{"expected a time of day HH:MM:SS.mmm, found " + quoted(w)};
        return true;
    }
    return false;
}

// "0x" and one to four hexadecimal digits.
bool read_code(std::string_view c, std::uint16_t& code) {
    if (c.size() < 3 || c.size() > 6 || c[0] != '0' || (c[1] != 'x' && c[1] != 'X')) return false;
    unsigned value = 0;
    for (char d : c.substr(2)) {
        const int v = hex_value(d);
        if (v < 0) return false;
        value = value * 16 + static_cast<unsigned>(v);
    }
    code = static_cast<std::uint16_t>(value);
    return true;
}

// An entry line: [timestamp] interface [code] bytes. A good timestamp moves the clock on even
// when the rest of the line is bad (as CaptureParser::advance does).
void parse_entry(std::string_view text, Entry& entry, CaptureClock& clock) {
    Words words(text);
    std::string_view w = words.next();
    entry.stamp.reset();
    Timestamp t;
    if (read_stamp(w, words, t)) {
        entry.stamp = clock.resolve(t);
        w = words.next();
    }
    if (w.empty()) throw Failure{"expected an interface (dm, l2cap, rfcomm or sdp), found the end of the line"};
    const auto iface = interface_named(w);
    if (!iface) throw Failure{"expected an interface (dm, l2cap, rfcomm or sdp), found " + quoted(w)};
    entry.iface = *iface;

    bool code_given = false;
    const std::string_view c = words.peek();
    if (c.size() >= 2 && c[0] == '0' && (c[1] == 'x' || c[1] == 'X')) {
        words.next();
        if (!read_code(c, entry.code)) throw Failure{"expected a type code 0x0000 to 0xffff, found " + quoted(c)};
        code_given = true;
    }
    entry.record.clear();
    parse_bytes(words.rest(), "record bytes", entry.record);
    if (!code_given) {
        if (entry.record.size() < 2)
            throw Failure{"expected a type code or at least 2 record bytes to take it from, found " +
                          (entry.record.empty() ? std::string("none") : std::string("1 byte"))};
        entry.code = static_cast<std::uint16_t>(entry.record[0] | (entry.record[1] << 8));
    }
}

// A memory line: '@' address bytes, added to the entry's image.
void parse_memory(std::string_view text, Entry& entry, std::vector<std::uint8_t>& scratch) {
    Words words(text.substr(1));
    std::string_view a = words.next();
    std::string_view after_colon;
    const std::size_t colon = a.find(':');
    if (colon != std::string_view::npos) {
        after_colon = a.substr(colon + 1);
        a = a.substr(0, colon);
    }
    std::string_view digits = a;
    if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.remove_prefix(2);
    bool ok = !digits.empty() && digits.size() <= 8;
    std::uint32_t address = 0;
    for (char d : digits) {
        const int v = hex_value(d);
        if (v < 0) ok = false;
        address = address * 16 + static_cast<std::uint32_t>(v < 0 ? 0 : v);
    }
    if (!ok)
        throw Failure{"expected a memory address of 1 to 8 hexadecimal digits after '@', found " +
                      (a.empty() ? std::string("nothing") : quoted(a))};
    scratch.clear();
    if (!after_colon.empty()) parse_bytes(after_colon, "memory bytes", scratch);
    parse_bytes(words.rest(), "memory bytes", scratch);
    if (scratch.empty()) throw Failure{"expected memory bytes after the address, found none"};
    const std::uint64_t end = std::uint64_t{address} + scratch.size();
    if (end > 0x100000000ull)
        throw Failure{"expected memory that ends by address 0xffffffff, found " +
                      std::to_string(scratch.size()) + " bytes at " + hex8(address) +
                      " running to " + hex8(end - 1)};
    if (const auto other = entry.image.overlap(address, scratch.size()))
        throw Failure{"expected memory that no earlier line of the entry gave, found " + hex8(address) +
                      ".." + hex8(end - 1) + ", which overlaps " + hex8(other->first) + ".." +
                      hex8(std::uint64_t{other->first} + other->second - 1)};
    entry.image.add(address, scratch);
}

// For the scope, a stream raises on badbit alone (a read error, or a failed allocation inside
// getline) and not on failbit or eofbit, whatever its owner's mask: the end of the input is not
// an error. The owner's mask is put back afterwards.
class RaiseOnBad {
public:
    explicit RaiseOnBad(std::istream& in) : in_(in), mask_(in.exceptions()) {
        try {
            in_.exceptions(std::ios::badbit);  // raises at once when the stream is bad
        } catch (const std::exception&) {
            restore();
            throw;
        }
    }
    ~RaiseOnBad() { restore(); }
    RaiseOnBad(const RaiseOnBad&) = delete;
    RaiseOnBad& operator=(const RaiseOnBad&) = delete;

private:
    void restore() noexcept {
        try {
            in_.exceptions(mask_);
        } catch (const std::exception&) {
            // The owner's mask raises for the state the stream is in (failbit at its end); the
            // mask is set all the same.
        }
    }
    std::istream& in_;
    std::ios::iostate mask_;
};

}  // namespace

std::optional<Timestamp> parse_timestamp(std::string_view text) {
    Words words(text);
    Timestamp t;
    try {
        if (!read_stamp(words.next(), words, t) || !words.next().empty()) return std::nullopt;
    } catch (const Failure&) {
        return std::nullopt;
    }
    return t;
}

std::optional<std::uint16_t> parse_type_code(std::string_view text) {
    std::uint16_t code = 0;
    if (!read_code(text, code)) return std::nullopt;
    return code;
}

// ---- CaptureParser

CaptureParser::CaptureParser(std::size_t first_line, Start start) noexcept { reset(first_line, start); }

void CaptureParser::reset(std::size_t first_line, Start start) noexcept {
    line_ = first_line - 1;
    item_ = first_line;
    start_ = start;
    have_entry_ = false;
    skipping_ = false;
    // A buffer that grew for a long memory line is given back.
    if (scratch_.capacity() > (std::size_t{1} << 16)) std::vector<std::uint8_t>().swap(scratch_);
}

void CaptureParser::advance(CaptureClock& clock, std::string_view line, bool first) noexcept {
    if (first && line.substr(0, 3) == "\xef\xbb\xbf") line.remove_prefix(3);
    const std::string_view text = content(line);
    if (text.empty() || text[0] == '@' || !is_digit(text[0])) return;
    Words words(text);
    Timestamp t;
    try {
        if (read_stamp(words.next(), words, t)) clock.resolve(t);
    } catch (const Failure&) {
        // A bad timestamp moves nothing; the parser reports it.
    } catch (const std::bad_alloc&) {
        // Only a message could not be made: the stamp was bad.
    }
}

bool CaptureParser::starts_entry(std::string_view line) noexcept {
    const std::string_view text = content(line);
    return !text.empty() && text[0] != '@';
}

bool CaptureParser::finish() noexcept {
    const bool had = have_entry_;
    have_entry_ = false;
    return had;
}

CaptureParser::Step CaptureParser::line(std::string_view raw, Entry& entry, Problem& problem) {
    if (line_ == 0 && raw.substr(0, 3) == "\xef\xbb\xbf") raw.remove_prefix(3);
    const std::string_view text = content(raw);
    if (text.empty()) {
        ++line_;
        return Step::more;
    }
    if (text[0] == '@') {
        ++line_;
        if (have_entry_) {
            try {
                parse_memory(text, entry, scratch_);
            } catch (const Failure& f) {
                problem = {line_, f.message};
                have_entry_ = false;
                skipping_ = true;
                return Step::problem;
            }
        } else if (!skipping_) {
            item_ = line_;
            problem = {line_, start_ == Start::input
                                  ? "expected an entry line before this memory line, found none"
                                  : "expected the memory lines of an entry before the input paused, "
                                    "found this one after the pause"};
            skipping_ = true;
            return Step::problem;
        }
        return Step::more;
    }
    // An entry line: it ends the entry being read, if any, and is given again.
    if (have_entry_) {
        have_entry_ = false;
        return Step::entry;
    }
    ++line_;
    item_ = line_;
    skipping_ = false;
    entry.line = line_;
    entry.image.clear();
    try {
        parse_entry(text, entry, clock_);
    } catch (const Failure& f) {
        problem = {line_, f.message};
        skipping_ = true;
        return Step::problem;
    }
    have_entry_ = true;
    return Step::more;
}

// ---- CaptureReader

struct CaptureReader::State {
    explicit State(std::istream& stream) : in(stream) {}
    std::istream& in;
    std::size_t line_no = 0;
    std::string line;
    bool pending = false;  // `line` was given to the parser and must be given again
    bool read_error = false;
    CaptureParser parser;

    bool read() {
        // With badbit raising, getline passes on what went wrong inside it instead of turning it
        // into badbit: a read error is taken as such and an allocation failure passes on.
        try {
            RaiseOnBad raising(in);
            if (!std::getline(in, line)) return false;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception&) {
            read_error = true;
            return false;
        }
        ++line_no;
        return true;
    }
};

CaptureReader::CaptureReader(std::istream& in) : state_(new State(in)) {}
CaptureReader::~CaptureReader() { delete state_; }
bool CaptureReader::failed() const noexcept { return state_->read_error; }
CaptureClock& CaptureReader::clock() noexcept { return state_->parser.clock(); }
std::size_t CaptureReader::lines() const noexcept { return state_->line_no; }

CaptureReader::Item CaptureReader::next(Entry& entry, Problem& problem) {
    State& s = *state_;
    for (;;) {
        if (!s.pending && !s.read()) return s.parser.finish() ? Item::entry : Item::end;
        s.pending = false;
        switch (s.parser.line(s.line, entry, problem)) {
        case CaptureParser::Step::more: break;
        case CaptureParser::Step::problem: return Item::problem;
        case CaptureParser::Step::entry: s.pending = true; return Item::entry;
        }
    }
}

}  // namespace rizorod
