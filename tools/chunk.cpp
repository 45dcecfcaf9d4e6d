// SPDX-License-Identifier: Apache-2.0
#include "chunk.h"

#include <algorithm>
#include <string>

namespace rizorod::tool {

void Chunk::recycle(Spare& spare) {
    tail = Tail::none;
    out_of_memory = false;
    resumed = false;
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
