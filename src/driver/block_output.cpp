// Batch output written in large blocks.
#include "driver/block_output.h"

namespace qorvantel {

block_output::block_output(std::streambuf* target) : target_(target), block_(block_size)
{
    setp(block_.data(), block_.data() + block_.size());
}

bool block_output::write_block()
{
    std::streamsize gathered = pptr() - pbase();
    setp(block_.data(), block_.data() + block_.size());
    if (failed_)
        return false;
    if (gathered > 0 && target_->sputn(block_.data(), gathered) != gathered)
        failed_ = true;
    return !failed_;
}

block_output::int_type block_output::overflow(int_type c)
{
    if (!write_block())
        return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize block_output::xsputn(const char* data, std::streamsize count)
{
    if (failed_)
        return 0;
    std::streamsize room = epptr() - pptr();
    if (count <= room) {
        traits_type::copy(pptr(), data, static_cast<std::size_t>(count));
        pbump(static_cast<int>(count));
        return count;
    }
    // More than the block holds (the echo of a large input): what is
    // gathered goes first, then the text itself in one write.
    if (!write_block())
        return 0;
    if (count >= static_cast<std::streamsize>(block_.size())) {
        std::streamsize written = target_->sputn(data, count);
        if (written != count)
            failed_ = true;
        return written;
    }
    traits_type::copy(pptr(), data, static_cast<std::size_t>(count));
    pbump(static_cast<int>(count));
    return count;
}

bool block_output::drain()
{
    if (!write_block())
        return false;
    if (target_->pubsync() != 0)
        failed_ = true;
    return !failed_;
}

} // namespace qorvantel
