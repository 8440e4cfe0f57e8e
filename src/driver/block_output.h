// Batch output written in large blocks: a stream buffer that gathers what is
// written to it and passes it on to another stream buffer only when full or
// when drained, whatever flushes the writers ask for.
#pragma once

#include <cstddef>
#include <streambuf>
#include <vector>

namespace qorvantel {

// The rows of a relation end with a flush, which at a prompt shows each line
// as soon as it is written. A batch run has no reader waiting for single
// lines, and one system call per row would cost as much as the rest of the
// work, so batch output goes through this buffer: a flush (sync) is ignored,
// and the target sees one write per block.
//
// A failed write is remembered: every later write fails too, so that the
// stream in front turns bad, and drain() reports it.
class block_output final : public std::streambuf {
public:
    // 256 KiB: a million-row result is a few hundred writes, and the block
    // still fits in the second-level cache.
    static constexpr std::size_t block_size = 256 * 1024;

    explicit block_output(std::streambuf* target);
    block_output(const block_output&) = delete;
    block_output& operator=(const block_output&) = delete;

    // Writes everything gathered to the target and flushes the target.
    // False when any write, now or before, failed.
    bool drain();

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int sync() override { return failed_ ? -1 : 0; }

private:
    // Passes the gathered bytes on; false when the target took fewer.
    bool write_block();

    std::streambuf* target_;
    std::vector<char> block_;
    bool failed_ = false;
};

} // namespace qorvantel
