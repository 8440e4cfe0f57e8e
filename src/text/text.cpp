// Source text, positions and the shared scanning operations.
#include "text/text.h"

#include <cstring>
#include <stdexcept>

namespace qorvantel {

text::text(std::istream& in)
{
    // Read in large blocks: an environment can be hundreds of megabytes, and
    // the result is the same as reading line by line and appending newlines.
    if (in) {
        // Reserve the whole size when the stream can tell it, so that a large
        // file is not copied again and again while the buffer grows.
        std::istream::pos_type start = in.tellg();
        if (start != std::istream::pos_type(-1) && in.seekg(0, std::ios_base::end)) {
            std::istream::pos_type end = in.tellg();
            in.seekg(start);
            // A directory reports an absurd size; the size is only a hint.
            std::streamoff size = end == std::istream::pos_type(-1) ? 0 : end - start;
            if (size > 0 && size < (std::streamoff(1) << 40)) {
                try {
                    buffer_.reserve(static_cast<std::size_t>(size) + 1);
                } catch (const std::exception&) {
                    // Read without reserving; a true lack of memory shows there.
                }
            }
        }
        in.clear();
        char block[1 << 16];
        while (in.read(block, sizeof block) || in.gcount() > 0)
            buffer_.append(block, static_cast<std::size_t>(in.gcount()));
        // The stream marks a failed read (an I/O error, a directory) as bad;
        // the end of the stream only as end and failure.
        if (in.bad())
            throw read_error("Cannot read input.");
    }
    seal();
}

text::text(std::string content) : buffer_(std::move(content)) { seal(); }

void text::seal()
{
    if (!buffer_.empty() && buffer_.back() != '\n')
        buffer_.push_back('\n');
    end_ = buffer_.data() + buffer_.size();
}

char text::iterator::operator*() const
{
    if (!dereferenceable())
        throw std::out_of_range("text::iterator: invalid dereference");
    return *char_;
}

std::size_t text::iterator::column() const noexcept
{
    for (int i = 0; i < 2; ++i)
        if (text_->column_lines_[i] == line_)
            return static_cast<std::size_t>(char_ - text_->column_line_starts_[i]) + 1;
    const char* begin = text_->buffer_.data();
    const char* start = char_;
    while (start != begin && start[-1] != '\n')
        --start;
    unsigned char slot = text_->column_oldest_;
    text_->column_lines_[slot] = line_;
    text_->column_line_starts_[slot] = start;
    text_->column_oldest_ = static_cast<unsigned char>(1 - slot);
    return static_cast<std::size_t>(char_ - start) + 1;
}

source_range text::iterator::range_to(const iterator& after) const noexcept
{
    source_range range;
    iterator first = *this;
    skip_whitespace(first);
    if (!first.valid() || !after.valid() || after.text_ != text_ || after.char_ <= first.char_)
        return range;
    range.line = first.line();
    range.column = first.column();
    // Back from after over whitespace; lines counts the newlines before last.
    const char* last = after.char_ - 1;
    std::size_t lines = after.line_ - (*last == '\n' ? 1 : 0);
    while (last > first.char_ && is_whitespace(*last)) {
        --last;
        if (*last == '\n')
            --lines;
    }
    iterator end(text_, lines, last);
    range.end_line = end.line();
    range.end_column = end.column();
    return range;
}

void skip_whitespace(text::iterator& position) noexcept
{
    std::string_view rest = position.rest();
    std::size_t skipped = 0;
    while (skipped < rest.size() && is_whitespace(rest[skipped]))
        ++skipped;
    // Newlines change the line number, so only runs without them take the
    // fast path.
    if (rest.substr(0, skipped).find('\n') == std::string_view::npos) {
        position.advance_in_line(skipped);
        return;
    }
    for (; skipped > 0; --skipped)
        ++position;
}

void match(text::iterator& position, const char* literal) noexcept
{
    if (!position.valid())
        return;
    skip_whitespace(position);
    if (literal == nullptr)
        return;
    for (const char* expected = literal; *expected != '\0'; ++expected) {
        if (!position.dereferenceable() || position.rest()[0] != *expected) {
            position.reached();
            position.invalidate();
            return;
        }
        ++position;
    }
}

namespace {
std::set<std::string, std::less<>>& reserved_word_set()
{
    static std::set<std::string, std::less<>> words;
    return words;
}
} // namespace

const std::set<std::string, std::less<>>& reserved_words() { return reserved_word_set(); }

keyword::keyword(const char* word) : word_(word)
{
    if (word != nullptr)
        reserved_word_set().insert(word);
}

void write_escaped(std::ostream& out, char character)
{
    if (!is_control(character)) {
        out.put(character);
        return;
    }
    // Pairs of a control character and the letter that names it. Searched
    // with an explicit length, so a NUL byte finds nothing and takes the
    // hexadecimal form like every other unnamed control character.
    static const char escapes[] = {'\x1b', 'e', '\n', 'n', '\t', 't'};
    for (std::size_t i = 0; i < sizeof escapes; i += 2) {
        if (escapes[i] == character) {
            out.put('\\');
            out.put(escapes[i + 1]);
            return;
        }
    }
    static const char digits[] = "0123456789abcdef";
    auto code = static_cast<unsigned char>(character);
    out.put('\\');
    out.put('x');
    out.put(digits[code >> 4]);
    out.put(digits[code & 0xf]);
}

void write_message_char(std::ostream& out, char character)
{
    if (character == '\x1b') {
        out.put('\\');
        out.put('e');
        return;
    }
    out.put(character);
}

} // namespace qorvantel
