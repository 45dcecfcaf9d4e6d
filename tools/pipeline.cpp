#include "pipeline.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <thread>
#include <utility>

#include "capture/capture.h"

namespace rizorod::tool {

// ---- Output

namespace {
constexpr std::size_t kOutputBuffer = 1 << 20;
}

Output::Output() {
    // A large buffer: a decoding is a few hundred bytes, written in batches.
    std::setvbuf(stdout, nullptr, _IOFBF, kOutputBuffer);
}

void Output::check(bool ok) {
    if (ok || failed_) return;
    failed_ = true;
    error_ = std::strerror(errno);
}

void Output::text(std::string_view text) {
    if (failed_ || text.empty()) return;
    check(std::fwrite(text.data(), 1, text.size(), stdout) == text.size());
}

void Output::message(std::string_view line) {
    if (!failed_) check(std::fflush(stdout) == 0);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

bool Output::finish() {
    if (!failed_) check(std::fflush(stdout) == 0);
    if (!failed_ && std::ferror(stdout)) {
        failed_ = true;
        error_ = "write error";
    }
    return !failed_;
}

namespace {

// ---- Batches

constexpr std::size_t kBatchEntries = 64;
constexpr std::size_t kBatchBytes = 1 << 18;

// One step of the input in order: an entry to decode, or a message ready to print.
struct Item {
    std::size_t entry;         // index into Batch::entries when `message` is empty
    std::string message;       // a finished message line
    int status = kOk;          // what the message means for the exit status
    const std::string* input;  // the input's name, for messages about the entry
};

struct Batch {
    std::vector<Entry> entries;  // the first `used` are this batch's; the rest are kept for reuse
    std::size_t used = 0;
    std::vector<Item> items;
    // Results: the decodings, and the messages with the position in `text` where each goes.
    std::string text;
    std::vector<std::pair<std::size_t, std::string>> messages;
    int status = kOk;

    void reset() {
        used = 0;
        items.clear();
        text.clear();
        messages.clear();
        status = kOk;
    }
    Entry& next_entry() {
        if (used == entries.size()) entries.emplace_back();
        return entries[used];
    }
};

void decode_batch(Batch& batch, Decoder& decoder, const EntryHandler& handler) {
    for (const Item& item : batch.items) {
        if (!item.message.empty()) {
            batch.messages.emplace_back(batch.text.size(), item.message);
            batch.status = std::max(batch.status, item.status);
            continue;
        }
        const Entry& entry = batch.entries[item.entry];
        try {
            if (handler)
                handler(decoder, entry, batch.text);
            else
                batch.text += decoder.decode(entry);
        } catch (const std::exception& e) {
            batch.messages.emplace_back(batch.text.size(),
                                        *item.input + ":" + std::to_string(entry.line) + ": " + e.what());
            batch.status = std::max(batch.status, int{kEntryFailed});
        }
    }
}

void write_batch(const Batch& batch, Output& out) {
    std::size_t done = 0;
    for (const auto& [at, line] : batch.messages) {
        out.text(std::string_view(batch.text).substr(done, at - done));
        done = at;
        out.message(line);
    }
    out.text(std::string_view(batch.text).substr(done));
}

// Reads the inputs one after the other and fills batches.
class Feeder {
public:
    explicit Feeder(const std::vector<Input>& inputs) : inputs_(inputs) {}

    // Fills `batch` with the next items; false when there was nothing left.
    bool fill(Batch& batch) {
        batch.reset();
        std::size_t bytes = 0;
        while (batch.items.size() < kBatchEntries && bytes < kBatchBytes) {
            if (!reader_ && !open_next(batch)) break;
            Entry& entry = batch.next_entry();
            Problem problem;
            CaptureReader::Item item;
            try {
                item = reader_->next(entry, problem);
            } catch (const std::bad_alloc&) {
                // A line too long for the memory there is: the input is given up like one that
                // cannot be read, its buffers released first.
                const std::size_t line = reader_->lines();
                close();
                batch.items.push_back({0, "rizorod: " + *name_ + ": out of memory after line " +
                                              std::to_string(line),
                                       kUsage, name_});
                continue;
            }
            switch (item) {
            case CaptureReader::Item::entry:
                bytes += entry.record.size() + entry.image.byte_count() + 64;
                batch.items.push_back({batch.used++, {}, kOk, name_});
                break;
            case CaptureReader::Item::problem:
                batch.items.push_back(
                    {0, *name_ + ":" + std::to_string(problem.line) + ": " + problem.message,
                     kEntryFailed, name_});
                break;
            case CaptureReader::Item::end:
                if (reader_->failed())
                    batch.items.push_back({0, "rizorod: " + *name_ + ": read error after line " +
                                                  std::to_string(reader_->lines()),
                                           kUsage, name_});
                close();
                break;
            }
        }
        return !batch.items.empty();
    }

private:
    bool open_next(Batch& batch) {
        while (next_ < inputs_.size()) {
            const Input& input = inputs_[next_++];
            if (input.literal) {
                display_ = input.name;
                text_ = std::make_unique<std::istringstream>(input.text);
                stream_ = text_.get();
            } else if (input.name == "-") {
                display_ = "<stdin>";
                stream_ = &std::cin;
            } else {
                display_ = input.name;
                std::error_code ec;
                if (std::filesystem::is_directory(input.name, ec)) {
                    batch.items.push_back({0, "rizorod: " + input.name + ": is a directory", kUsage, nullptr});
                    continue;
                }
                file_ = std::make_unique<std::ifstream>(input.name, std::ios::binary);
                if (!*file_) {
                    const int err = errno;
                    batch.items.push_back({0, "rizorod: " + input.name + ": cannot open: " +
                                                  (err ? std::strerror(err) : "unknown error"),
                                           kUsage, nullptr});
                    file_.reset();
                    continue;
                }
                stream_ = file_.get();
            }
            names_.push_back(std::make_unique<std::string>(display_));
            name_ = names_.back().get();
            reader_ = std::make_unique<CaptureReader>(*stream_);
            return true;
        }
        return false;
    }
    void close() {
        reader_.reset();
        file_.reset();
        text_.reset();
        stream_ = nullptr;
    }

    const std::vector<Input>& inputs_;
    std::size_t next_ = 0;
    std::string display_;
    // Names outlive the batches that point at them.
    std::vector<std::unique_ptr<std::string>> names_;
    const std::string* name_ = nullptr;
    std::unique_ptr<std::ifstream> file_;
    std::unique_ptr<std::istringstream> text_;
    std::istream* stream_ = nullptr;
    std::unique_ptr<CaptureReader> reader_;
};

// ---- Decoding on several threads
//
// Batch number n lives in slot n mod K. The calling thread reads batches into free slots; the
// workers claim filled batches in number order and decode them, each with a Decoder of its own;
// the calling thread writes finished batches in number order, and a slot is free again once its
// batch is written. At most K batches are in flight, so memory stays bounded.
class Parallel {
public:
    Parallel(unsigned jobs, Output& out, const EntryHandler& handler)
        : slots_(4 * jobs), out_(out), handler_(handler) {
        for (unsigned i = 0; i < jobs; ++i) workers_.emplace_back([this] { work(); });
    }
    ~Parallel() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        wake_workers_.notify_all();
        for (auto& t : workers_) t.join();
    }

    int run(Feeder& feeder) {
        int status = kOk;
        std::size_t n = 0;
        for (;; ++n) {
            Slot& slot = slots_[n % slots_.size()];
            if (n >= slots_.size()) status = std::max(status, write(n - slots_.size()));
            if (out_.failed() || !feeder.fill(slot.batch)) break;
            {
                std::lock_guard lock(mutex_);
                slot.done = false;
                filled_ = n + 1;
            }
            wake_workers_.notify_one();
        }
        // Write what is still in flight, in order.
        const std::size_t first = n >= slots_.size() ? n - slots_.size() + 1 : 0;
        for (std::size_t k = first; k < filled_; ++k) status = std::max(status, write(k));
        return status;
    }

private:
    struct Slot {
        Batch batch;
        bool done = true;
    };

    int write(std::size_t n) {
        Slot& slot = slots_[n % slots_.size()];
        {
            std::unique_lock lock(mutex_);
            batch_done_.wait(lock, [&] { return slot.done; });
        }
        if (n >= written_) {
            write_batch(slot.batch, out_);
            written_ = n + 1;
            return slot.batch.status;
        }
        return kOk;
    }

    void work() {
        Decoder decoder;
        for (;;) {
            std::size_t n;
            {
                std::unique_lock lock(mutex_);
                wake_workers_.wait(lock, [&] { return claimed_ < filled_ || finished_; });
                if (claimed_ >= filled_) return;
                n = claimed_++;
            }
            Slot& slot = slots_[n % slots_.size()];
            decode_batch(slot.batch, decoder, handler_);
            {
                std::lock_guard lock(mutex_);
                slot.done = true;
            }
            batch_done_.notify_all();
        }
    }

    std::vector<Slot> slots_;
    Output& out_;
    const EntryHandler& handler_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_workers_, batch_done_;
    std::size_t filled_ = 0, claimed_ = 0, written_ = 0;
    bool finished_ = false;
};

}  // namespace

int decode_inputs(const std::vector<Input>& inputs, unsigned jobs, Output& out,
                  const EntryHandler& handler) {
    Feeder feeder(inputs);
    int status = kOk;
    if (jobs <= 1) {
        Decoder decoder;
        Batch batch;
        while (!out.failed() && feeder.fill(batch)) {
            decode_batch(batch, decoder, handler);
            write_batch(batch, out);
            status = std::max(status, batch.status);
        }
    } else {
        Parallel parallel(jobs, out, handler);
        status = parallel.run(feeder);
    }
    return status;
}

}  // namespace rizorod::tool
