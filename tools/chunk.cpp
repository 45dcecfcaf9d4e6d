// SPDX-License-Identifier: Apache-2.0
#include "chunk.h"

#include <algorithm>
#include <string>

namespace rizorod::tool {
namespace {

void put_number(std::string& code, std::size_t v) {
    for (; v >= 0x80; v >>= 7) code += static_cast<char>((v & 0x7f) | 0x80);
    code += static_cast<char>(v);
}

std::size_t get_number(const std::string& code, std::size_t& pos) {
    std::size_t v = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(code[pos++]);
        v |= std::size_t{byte & 0x7fu} << shift;
        if (byte < 0x80) return v;
    }
}

}  // namespace

void Gaps::add(std::size_t at, std::size_t lines) {
    if (lines == 0) return;
    if (open_lines_ != 0 && at == open_at_) {
        open_lines_ += lines;
        lines_ += lines;
        return;
    }
    if (open_lines_ != 0) {
        put_number(code_, open_at_ - coded_at_);
        put_number(code_, open_lines_);
        coded_at_ = open_at_;
    }
    open_at_ = at;
    open_lines_ = lines;
    lines_ += lines;
}

std::size_t Gaps::move_to(Gaps& to) noexcept {
    std::swap(*this, to);
    return to.lines_;
}

void Gaps::clear() noexcept {
    if (code_.capacity() > 4096) std::string().swap(code_);
    code_.clear();
    coded_at_ = open_at_ = open_lines_ = lines_ = 0;
}

bool Gaps::Cursor::next(std::size_t& at, std::size_t& lines) {
    if (pos_ < gaps_.code_.size()) {
        at_ += get_number(gaps_.code_, pos_);
        at = at_;
        lines = get_number(gaps_.code_, pos_);
        return true;
    }
    if (open_done_ || gaps_.open_lines_ == 0) return false;
    open_done_ = true;
    at = gaps_.open_at_;
    lines = gaps_.open_lines_;
    return true;
}

void Chunk::recycle(Spare& spare) {
    tail = Tail::none;
    out_of_memory = false;
    resumed = false;
    gaps.clear();
    // A long chunk leaves its buffer for the next long entry; a short one gives back
    // whatever grew.
    if (data.size() > kKeep) {
        spare.put(data);
    } else {
        if (data.capacity() > kKeep) data.release();
        spare.short_chunk();
    }
    data.resize(0);
    if (out.text.capacity() > std::max(kKeep, 2 * out.text.size())) std::string().swap(out.text);
    out.clear();
}

}  // namespace rizorod::tool
