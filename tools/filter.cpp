// SPDX-License-Identifier: Apache-2.0
#include "filter.h"

#include <arpa/inet.h>
#include <fnmatch.h>

#include <RizOrodOzido/fields.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "select.h"

namespace rizorod::tool {
namespace {

// ---- what the labels of the decodings are

// The kinds of value a label has somewhere in the rows (a label may have several).
struct LabelKinds {
    unsigned number_bits = 0;  // a field line or an element: its widest width in bits
    bool text = false;         // a device name
    bool bytes = false;        // a byte run
    bool mac = false;          // a device or Ethernet address (6 bytes)
    bool ip = false;           // an IP address (16 bytes)
    bool other = false;        // a record, a list of records or a silent pointer: nothing to compare
};

void note_record(const rizorod_layout_record* r, std::map<std::string, LabelKinds>& labels);

void note_field(const rizorod_layout_record* r, const rizorod_layout_field& f, std::map<std::string, LabelKinds>& labels) {
    switch (rizorod_kind(&f)) {
    case RIZOROD_LAYOUT_U8:
    case RIZOROD_LAYOUT_B8:
    case RIZOROD_LAYOUT_I8:
    case RIZOROD_LAYOUT_U16:
    case RIZOROD_LAYOUT_ENUM:
    case RIZOROD_LAYOUT_U32:
    case RIZOROD_LAYOUT_I32:
    case RIZOROD_LAYOUT_U24:
    case RIZOROD_LAYOUT_ARR: {
        unsigned& bits = labels[f.label].number_bits;
        bits = std::max(bits, 8u * f.width);
        break;
    }
    case RIZOROD_LAYOUT_REC:
        if (address_form(f.record) != AddressForm::none) labels[f.label].mac = true;
        else labels[f.label].other = true;
        note_record(f.record, labels);
        break;
    case RIZOROD_LAYOUT_RUN: labels[rizorod_pointer_label(r, f.pointer)].bytes = true; break;
    case RIZOROD_LAYOUT_IP: labels[f.label].ip = true; break;
    case RIZOROD_LAYOUT_BLOCKS:
        if (f.record->name == nullptr) {
            unsigned& bits = labels[rizorod_pointer_label(r, f.pointer)].number_bits;
            bits = std::max(bits, 8u * rizorod_layout_size(f.record));
        } else {
            note_record(f.record, labels);
        }
        break;
    case RIZOROD_LAYOUT_CUSTOM:
        labels["name_part"].text = true;
        labels["iac_lap"].number_bits = 32;
        break;
    case RIZOROD_LAYOUT_PTR: labels[f.label].other = true; break;  // unless a run or a walk says more
    case RIZOROD_LAYOUT_END:
    case RIZOROD_LAYOUT_NEWLINE:
    case RIZOROD_LAYOUT_CASE:
    case RIZOROD_LAYOUT_CASE_END: break;
    }
}

void note_record(const rizorod_layout_record* r, std::map<std::string, LabelKinds>& labels) {
    for (const rizorod_layout_field* f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f) note_field(r, *f, labels);
}

const std::map<std::string, LabelKinds>& all_labels() {
    static const std::map<std::string, LabelKinds> labels = [] {
        std::map<std::string, LabelKinds> all;
        for (Interface iface : kInterfaces)
            for (const Primitive& p : primitives(iface)) note_record(layout(iface, p.code), all);
        // A pointer that addresses a run or a walk is that run or walk, not a silent pointer.
        for (auto& [label, kinds] : all)
            if (kinds.bytes || kinds.text || kinds.number_bits != 0) kinds.other = false;
        return all;
    }();
    return labels;
}

// ---- tokens

enum class Op { eq, ne, lt, le, gt, ge, matches, contains, exists };

struct Token {
    enum Kind { end, word, quoted, op, open, close, and_, or_, not_ } kind = end;
    std::string text;  // a word's or a quoted string's text, an operator's spelling
    std::size_t at = 0, length = 0;
    Op cmp = Op::eq;
    bool touching = false;  // an '=' with no blank on either side (LABEL=VALUE)
};

std::string caret(std::string_view expression, std::size_t at, std::size_t length) {
    return "\n  " + std::string(expression) + "\n  " + std::string(at, ' ') + std::string(std::max<std::size_t>(length, 1), '^');
}

[[noreturn]] void fail(std::string_view expression, const Token& t, const std::string& what) {
    throw FilterError(what + caret(expression, t.at, t.length));
}

bool word_char(char c) {
    return !(c == ' ' || c == '\t' || c == '(' || c == ')' || c == '!' || c == '=' || c == '<' || c == '>' ||
             c == '&' || c == '|' || c == '"' || c == '\'');
}

std::vector<Token> tokens(std::string_view s) {
    std::vector<Token> out;
    std::size_t i = 0;
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        Token t;
        t.at = i;
        if (i == s.size()) {
            out.push_back(t);
            return out;
        }
        const char c = s[i];
        auto two = [&](char second) { return i + 1 < s.size() && s[i + 1] == second; };
        auto op = [&](Token::Kind kind, std::size_t n, Op cmp = Op::eq) {
            t.kind = kind;
            t.length = n;
            t.text = std::string(s.substr(i, n));
            t.cmp = cmp;
            i += n;
        };
        if (c == '(') op(Token::open, 1);
        else if (c == ')') op(Token::close, 1);
        else if (c == '&' && two('&')) op(Token::and_, 2);
        else if (c == '|' && two('|')) op(Token::or_, 2);
        else if (c == '!' && two('=')) op(Token::op, 2, Op::ne);
        else if (c == '!') op(Token::not_, 1);
        else if (c == '=' && two('=')) op(Token::op, 2, Op::eq);
        else if (c == '=') {
            t.touching = i > 0 && word_char(s[i - 1]) && i + 1 < s.size() && s[i + 1] != ' ' && s[i + 1] != '\t';
            op(Token::op, 1, Op::eq);
        } else if (c == '<') op(Token::op, two('=') ? 2 : 1, two('=') ? Op::le : Op::lt);
        else if (c == '>') op(Token::op, two('=') ? 2 : 1, two('=') ? Op::ge : Op::gt);
        else if (c == '"' || c == '\'') {
            t.kind = Token::quoted;
            std::size_t j = i + 1;
            for (; j < s.size() && s[j] != c; ++j) {
                if (s[j] == '\\' && j + 1 < s.size()) ++j;
                t.text += s[j];
            }
            if (j == s.size()) {
                t.length = s.size() - i;
                throw FilterError(std::string("expected the closing ") + c + " of a quoted value, found the end" +
                                  caret(s, i, 1));
            }
            t.length = j + 1 - i;
            i = j + 1;
        } else if (word_char(c)) {
            std::size_t j = i;
            while (j < s.size() && word_char(s[j])) ++j;
            t.text = std::string(s.substr(i, j - i));
            t.length = j - i;
            t.kind = t.text == "and" ? Token::and_ : t.text == "or" ? Token::or_ : t.text == "not" ? Token::not_
                                                                                                 : Token::word;
            if (t.text == "matches" || t.text == "contains") {
                t.kind = Token::op;
                t.cmp = t.text == "matches" ? Op::matches : Op::contains;
            }
            i = j;
        } else {
            throw FilterError(std::string("expected a field, a value or an operator, found '") + c + "'" + caret(s, i, 1));
        }
        out.push_back(t);
    }
}

// ---- values

// A number as the rows print it: decimal, or 0x and hexadecimal digits; leading zeros allowed.
std::optional<std::uint64_t> number(std::string_view w) {
    const bool hex = w.size() > 2 && w[0] == '0' && (w[1] == 'x' || w[1] == 'X');
    if (hex) w.remove_prefix(2);
    if (w.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : w) {
        int d = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F'                               ? c - 'A' + 10
                                                                            : -1;
        if (d < 0) return std::nullopt;
        v = v * (hex ? 16 : 10) + static_cast<unsigned>(d);
        if (v > 0xffffffffu) return std::nullopt;
    }
    return v;
}

int hex_digit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Bytes in hexadecimal: pairs of digits, optionally separated by ':', '-' or blanks.
std::optional<std::string> hex_bytes(std::string_view w) {
    std::string out;
    for (std::size_t i = 0; i < w.size();) {
        if (w[i] == ':' || w[i] == '-' || w[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= w.size() || hex_digit(w[i]) < 0 || hex_digit(w[i + 1]) < 0) return std::nullopt;
        out += static_cast<char>(hex_digit(w[i]) * 16 + hex_digit(w[i + 1]));
        i += 2;
    }
    return out;
}

// An IP address as 16 bytes: IPv6 text, or IPv4 (as ::ffff:a.b.c.d).
std::optional<std::string> ip_bytes(const std::string& w) {
    unsigned char b[16];
    if (inet_pton(AF_INET6, w.c_str(), b) == 1) return std::string(reinterpret_cast<char*>(b), 16);
    unsigned char v4[4];
    if (inet_pton(AF_INET, w.c_str(), v4) != 1) return std::nullopt;
    std::string out(10, '\0');
    out += "\xff\xff";
    out.append(reinterpret_cast<char*>(v4), 4);
    return out;
}

// What the expression's value is, as each kind of field would read it.
struct Value {
    std::string text;                     // as written (a name, a glob)
    std::optional<std::uint64_t> number;  // when it is a number
    std::optional<std::string> bytes;     // a byte run's bytes
    std::optional<std::string> mac, ip;   // an address's bytes
    std::optional<TimeBound> time;
    std::optional<Interface> iface;
};

}  // namespace

// ---- the tree

struct Filter::Node {
    enum Kind { all, any, negate, compare } kind = compare;
    int a = -1, b = -1;       // operands (all, any, negate)
    enum Field { label, interface, code, name, time } field = label;
    int label_index = -1;     // into labels_
    Op op = Op::eq;
    Value value;
};

namespace {

using Node = Filter::Node;

const char* kind_list(const LabelKinds& k) {
    static thread_local std::string text;
    text.clear();
    auto add = [](const std::string& s) { text += (text.empty() ? "" : " or ") + s; };
    if (k.number_bits) add("a number up to 0x" + std::string(k.number_bits == 8 ? "ff" : k.number_bits == 16 ? "ffff" : "ffffffff"));
    if (k.text) add("a text");
    if (k.bytes) add("bytes in hexadecimal (01:02:ff)");
    if (k.mac) add("an address (00:12:7C:6A:1F:20)");
    if (k.ip) add("an IP address (::ffff:192.168.0.1)");
    if (k.other) add("a record or a pointer, which has no value of its own (compare its fields)");
    return text.c_str();
}

class Parser {
public:
    Parser(std::string_view text) : text_(text), tokens_(tokens(text)) {}

    Filter* run() {
        if (tokens_[0].kind == Token::end) fail(text_, tokens_[0], "expected an expression, found nothing");
        parse_or();  // the last node made is the root: every node comes after its operands
        if (peek().kind != Token::end) fail(text_, peek(), "expected 'and', 'or' or the end, found '" + peek().text + "'");
        return new Filter(std::move(nodes_), std::move(labels_));
    }

private:
    const Token& peek() const { return tokens_[pos_]; }
    const Token& take() { return tokens_[pos_++]; }

    static Node combine(Node::Kind kind, int a, int b) {
        Node n;
        n.kind = kind;
        n.a = a;
        n.b = b;
        return n;
    }
    int add(Node n) {
        nodes_.push_back(std::move(n));
        return static_cast<int>(nodes_.size() - 1);
    }

    int parse_or() {
        int left = parse_and();
        while (peek().kind == Token::or_) {
            take();
            left = add(combine(Node::any, left, parse_and()));
        }
        return left;
    }
    int parse_and() {
        int left = parse_not();
        while (peek().kind == Token::and_) {
            take();
            left = add(combine(Node::all, left, parse_not()));
        }
        return left;
    }
    int parse_not() {
        if (peek().kind == Token::not_) {
            take();
            return add(combine(Node::negate, parse_not(), -1));
        }
        if (peek().kind == Token::open) {
            const Token open = take();
            const int inner = parse_or();
            if (peek().kind != Token::close) fail(text_, peek(), "expected ')' to close the '(' before, found " + found(peek()));
            take();
            return inner;
        }
        return parse_comparison();
    }

    static std::string found(const Token& t) { return t.kind == Token::end ? "the end" : "'" + t.text + "'"; }

    int parse_comparison();
    void check_value(Node& n, const Token& field, const Token& value);
    void check_label_value(Node& n, const LabelKinds& k, const Token& field, const Token& value);

    std::string_view text_;
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    std::vector<Node> nodes_;
    std::vector<std::string> labels_;
};

int Parser::parse_comparison() {
    const Token field = take();
    if (field.kind != Token::word) fail(text_, field, "expected a field, found " + found(field));
    Node n;
    static const std::map<std::string, Node::Field> kOwn = {
        {"interface", Node::interface}, {"code", Node::code}, {"name", Node::name}, {"time", Node::time}};
    if (const auto own = kOwn.find(field.text); own != kOwn.end()) {
        n.field = own->second;
    } else {
        const auto& labels = all_labels();
        if (!labels.count(field.text))
            fail(text_, field, "no primitive has a field named \"" + field.text + "\" (rizorod list --fields shows them all)");
        const auto at = std::find(labels_.begin(), labels_.end(), field.text);
        n.label_index = static_cast<int>(at - labels_.begin());
        if (at == labels_.end()) labels_.push_back(field.text);
    }
    if (peek().kind != Token::op) {
        if (n.field != Node::label) fail(text_, peek(), "expected a comparison after '" + field.text + "', found " + found(peek()));
        n.op = Op::exists;  // a label alone: the entry has the field
        return add(std::move(n));
    }
    const Token op = take();
    n.op = op.cmp;
    const Token value = take();
    if (value.kind != Token::word && value.kind != Token::quoted)
        fail(text_, value, "expected a value after '" + op.text + "', found " + found(value));
    if (op.text == "=" && !op.touching)
        fail(text_, op, "expected LABEL=VALUE without blanks around '=' (or '==' with or without them)");
    n.value.text = value.text;
    check_value(n, field, value);
    return add(std::move(n));
}

void Parser::check_value(Node& n, const Token& field, const Token& value) {
    const bool ordered = n.op == Op::lt || n.op == Op::le || n.op == Op::gt || n.op == Op::ge;
    switch (n.field) {
    case Node::interface:
        n.value.iface = interface_named(value.text);
        if (!n.value.iface) fail(text_, value, "expected an interface (dm, l2cap, rfcomm or sdp), found \"" + value.text + "\"");
        if (n.op != Op::eq && n.op != Op::ne) fail(text_, value, "interface compares with == and != only");
        return;
    case Node::code:
        n.value.number = number(value.text);
        if (!n.value.number || *n.value.number > 0xffff)
            fail(text_, value, "expected a type code 0 to 65535 (or 0x0 to 0xffff), found \"" + value.text + "\"");
        if (n.op == Op::matches || n.op == Op::contains) fail(text_, value, "code is a number: compare it with == != < <= > >=");
        return;
    case Node::name:
        if (ordered) fail(text_, value, "name compares with ==, != (a glob: * any text, ? one character) or matches");
        return;
    case Node::time: {
        TimeBound bound;
        if (const auto error = parse_time_bound(value.text, bound)) fail(text_, value, *error);
        n.value.time = bound;
        if (n.op == Op::matches || n.op == Op::contains) fail(text_, value, "time compares with == != < <= > >=");
        return;
    }
    case Node::label: check_label_value(n, all_labels().at(field.text), field, value);
    }
}

void Parser::check_label_value(Node& n, const LabelKinds& k, const Token& field, const Token& value) {
    const bool ordered = n.op == Op::lt || n.op == Op::le || n.op == Op::gt || n.op == Op::ge;
    if (k.number_bits) {
        n.value.number = number(value.text);
        if (n.value.number && *n.value.number >> k.number_bits) n.value.number.reset();
    }
    if (k.bytes) n.value.bytes = hex_bytes(value.text);
    if (k.mac) {
        n.value.mac = hex_bytes(value.text);
        if (n.value.mac && n.value.mac->size() != 6) n.value.mac.reset();
    }
    if (k.ip) n.value.ip = ip_bytes(value.text);
    const bool fits = n.value.number || k.text || n.value.bytes || n.value.mac || n.value.ip;
    if (!fits)
        fail(text_, value, field.text + " is " + kind_list(k) + "; \"" + value.text + "\" cannot be one");
    if (ordered && !n.value.number)
        fail(text_, value, "<, <=, > and >= compare numbers; " + field.text + " is " + kind_list(k));
    if (n.op == Op::matches && !k.text) fail(text_, value, "matches takes a text field (a name) or name; " + field.text + " is " + kind_list(k));
    if (n.op == Op::contains && !k.text && !n.value.bytes)
        fail(text_, value, "contains takes a text or a byte run; " + field.text + " is " + kind_list(k));
}

// ---- evaluation

// The values of the labels an expression names, as a walk tells them (elements under their
// list's label; a whole block's elements past its count are none).
struct Found {
    std::vector<std::uint32_t> numbers;
    std::vector<std::string> texts, bytes, addresses;
    bool any = false;
    void clear() {
        numbers.clear();
        texts.clear();
        bytes.clear();
        addresses.clear();
        any = false;
    }
};

class Collector final : public FieldSink {
public:
    Collector(const std::vector<std::string>& labels, std::vector<Found>& found) : labels_(labels), found_(found) {}
    void value(const char* label, std::uint32_t v) override {
        if (Found* f = slot(label != nullptr ? label : lists_.empty() ? nullptr : lists_.back())) f->numbers.push_back(v);
    }
    void begin_record(const char* label, const char*) override {
        if (Found* f = slot(label)) f->any = true;
        lists_.push_back(nullptr);
    }
    void end_record() override { lists_.pop_back(); }
    void begin_list(const char* label) override {
        if (Found* f = slot(label)) f->any = true;
        lists_.push_back(label);
    }
    void end_list() override { lists_.pop_back(); }
    void bytes(const char* label, const std::uint8_t* data, std::size_t size, bool name) override {
        if (Found* f = slot(label)) (name ? f->texts : f->bytes).emplace_back(reinterpret_cast<const char*>(data), size);
    }
    void unknown_custom() override {}
    void uncounted(const char*, const std::uint8_t*, std::size_t) override {}
    void text(const char* label, std::string_view text) override {
        Found* f = slot(label);
        if (f == nullptr) return;
        // The library's text of a device or Ethernet address, or of an IP address, as bytes.
        if (const auto mac = hex_bytes(text); mac && mac->size() == 6) f->addresses.push_back(*mac);
        else if (const auto ip = ip_bytes(std::string(text))) f->addresses.push_back(*ip);
    }

private:
    Found* slot(const char* label) {
        if (label == nullptr) return nullptr;
        for (std::size_t i = 0; i < labels_.size(); ++i)
            if (labels_[i] == label) {
                found_[i].any = true;
                return &found_[i];
            }
        return nullptr;
    }
    const std::vector<std::string>& labels_;
    std::vector<Found>& found_;
    std::vector<const char*> lists_;
};

bool holds(Op op, int c) {  // c: -1, 0, 1 of the field against the value
    switch (op) {
    case Op::eq: return c == 0;
    case Op::ne: return c != 0;
    case Op::lt: return c < 0;
    case Op::le: return c <= 0;
    case Op::gt: return c > 0;
    case Op::ge: return c >= 0;
    case Op::matches:
    case Op::contains:
    case Op::exists: return false;
    }
    return false;
}

bool glob(const std::string& pattern, const std::string& text) { return fnmatch(pattern.c_str(), text.c_str(), 0) == 0; }

// Whether one value of a field holds the comparison (!= is taken as "not ==" by the caller).
bool one_holds(const Node& n, const Found& f) {
    const Op op = n.op == Op::ne ? Op::eq : n.op;
    if (n.value.number)
        for (std::uint32_t v : f.numbers)
            if (holds(op, v < *n.value.number ? -1 : v > *n.value.number ? 1 : 0)) return true;
    for (const std::string& t : f.texts) {
        if (op == Op::eq && t == n.value.text) return true;
        if (op == Op::matches && glob(n.value.text, t)) return true;
        if (op == Op::contains && t.find(n.value.text) != std::string::npos) return true;
    }
    if (n.value.bytes)
        for (const std::string& b : f.bytes) {
            if (op == Op::eq && b == *n.value.bytes) return true;
            if (op == Op::contains && b.find(*n.value.bytes) != std::string::npos) return true;
        }
    for (const std::string& a : f.addresses)
        if (op == Op::eq && ((n.value.mac && a == *n.value.mac) || (n.value.ip && a == *n.value.ip))) return true;
    return false;
}

bool own_holds(const Node& n, const Entry& entry) {
    switch (n.field) {
    case Node::interface: return holds(n.op, entry.iface == *n.value.iface ? 0 : 1);
    case Node::code: return holds(n.op, entry.code < *n.value.number ? -1 : entry.code > *n.value.number ? 1 : 0);
    case Node::name: {
        const auto prim = find_primitive(entry.iface, entry.code);
        if (!prim) return false;
        const bool match = n.op == Op::contains ? std::strstr(prim->name, n.value.text.c_str()) != nullptr
                                                : glob(n.value.text, prim->name);
        return n.op == Op::ne ? !match : match;
    }
    case Node::time: {
        const auto c = compare_time(entry, *n.value.time);
        return c && holds(n.op, *c);
    }
    case Node::label: break;
    }
    return false;
}

}  // namespace

Filter::Filter(std::vector<Node> nodes, std::vector<std::string> labels)
    : nodes_(std::move(nodes)), labels_(std::move(labels)) {}
Filter::~Filter() = default;

std::shared_ptr<const Filter> Filter::parse(std::string_view text) {
    try {
        return std::shared_ptr<const Filter>(Parser(text).run());
    } catch (const FilterError& first) {
        // The older form LABEL=VALUE takes the whole rest as the value, blanks inside included
        // (name_part=Workshop bench unit), when it reads as nothing else.
        const std::size_t eq = text.find('=');
        const std::string_view label = text.substr(0, eq == std::string_view::npos ? 0 : eq);
        const std::string_view rest = eq == std::string_view::npos ? "" : text.substr(eq + 1);
        if (label.empty() || rest.empty() || !all_labels().count(std::string(label)) ||
            rest.find_first_of("=!<>\"'") != std::string_view::npos || rest.front() == ' ' || rest.back() == ' ')
            throw;
        try {
            return std::shared_ptr<const Filter>(Parser(std::string(label) + " == \"" + std::string(rest) + "\"").run());
        } catch (const FilterError&) {
            throw first;
        }
    }
}

std::shared_ptr<const Filter> Filter::all_of(const std::vector<std::shared_ptr<const Filter>>& filters) {
    std::vector<Node> nodes;
    std::vector<std::string> labels;
    int root = -1;
    for (const auto& f : filters) {
        const int base = static_cast<int>(nodes.size());
        for (Node n : f->nodes_) {
            if (n.a >= 0) n.a += base;
            if (n.b >= 0) n.b += base;
            if (n.label_index >= 0) {
                const std::string& label = f->labels_[static_cast<std::size_t>(n.label_index)];
                const auto at = std::find(labels.begin(), labels.end(), label);
                n.label_index = static_cast<int>(at - labels.begin());
                if (at == labels.end()) labels.push_back(label);
            }
            nodes.push_back(std::move(n));
        }
        const int this_root = static_cast<int>(nodes.size() - 1);
        if (root >= 0) {
            Node both;
            both.kind = Node::all;
            both.a = root;
            both.b = this_root;
            nodes.push_back(std::move(both));
        }
        root = static_cast<int>(nodes.size() - 1);
    }
    return std::make_shared<Filter>(std::move(nodes), std::move(labels));
}

bool Filter::uses_dates() const {
    for (const Node& n : nodes_)
        if (n.field == Node::time && n.kind == Node::compare && n.value.time && n.value.time->date) return true;
    return false;
}

bool Filter::matches(const Entry& entry, Decoder& decoder) const {
    thread_local std::vector<Found> found;
    found.resize(labels_.size());
    for (Found& f : found) f.clear();
    if (!labels_.empty()) {
        Collector collector(labels_, found);
        decoder.walk(entry, collector);
    }
    // Nodes come after their operands, so one pass in order evaluates every node.
    std::vector<char> value(nodes_.size());
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        const Node& n = nodes_[i];
        switch (n.kind) {
        case Node::all: value[i] = value[static_cast<std::size_t>(n.a)] && value[static_cast<std::size_t>(n.b)]; break;
        case Node::any: value[i] = value[static_cast<std::size_t>(n.a)] || value[static_cast<std::size_t>(n.b)]; break;
        case Node::negate: value[i] = !value[static_cast<std::size_t>(n.a)]; break;
        case Node::compare:
            if (n.field != Node::label) {
                value[i] = own_holds(n, entry);
            } else {
                const Found& f = found[static_cast<std::size_t>(n.label_index)];
                value[i] = n.op == Op::exists ? f.any : n.op == Op::ne ? f.any && !one_holds(n, f) : one_holds(n, f);
            }
            break;
        }
    }
    return value.back();
}

}  // namespace rizorod::tool
