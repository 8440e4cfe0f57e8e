// The source text and positions in it, and the character-level scanning that
// every parser shares: whitespace, literal matching, reserved words.
//
// A text holds the whole input as lines, each ending with a newline. The lines
// are kept back to back in one buffer, so the text is exactly the input with a
// newline appended when the input did not end with one. A position is small and
// copied freely: parsers work on a copy and hand it back only on success.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qorvantel {

struct source_range;

// A stream that failed with a read error rather than reaching its end. The
// text read so far is incomplete, so nothing may be made of it; the caller,
// which knows what the stream is, reports it under its own name.
class read_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class text {
public:
    class iterator {
    public:
        iterator() = default;

        // There is a current character.
        bool dereferenceable() const noexcept { return text_ != nullptr && char_ != text_->end_; }
        bool at_end() const noexcept { return text_ != nullptr && char_ == text_->end_; }
        bool valid() const noexcept { return text_ != nullptr; }

        // The current character; throws std::out_of_range when there is none.
        char operator*() const;

        iterator& operator++() noexcept
        {
            if (dereferenceable()) {
                if (*char_ == '\n')
                    ++line_;
                ++char_;
            }
            return *this;
        }

        // Makes this the invalid position, the failure marker of scanning.
        void invalidate() noexcept { text_ = nullptr; }

        // 1-based line and byte column; meaningful only when dereferenceable.
        std::size_t line() const noexcept { return line_ + 1; }
        std::size_t column() const noexcept;

        // The characters from here to the end of the text.
        std::string_view rest() const noexcept
        {
            return text_ == nullptr ? std::string_view() : std::string_view(char_, text_->end_ - char_);
        }

        // Moves forward over count characters of the current line, which the
        // caller has already read through rest() and which hold no newline.
        void advance_in_line(std::size_t count) noexcept { char_ += count; }

        // Where a construct read from here to after lies: from the first
        // character at or after this position that is not whitespace to the
        // last character before after that is not whitespace. Not known
        // (line 0) when that holds no character.
        source_range range_to(const iterator& after) const noexcept;

        // Records that scanning looked at this position and found no match
        // there: the text keeps the furthest such position, where reading
        // stopped, for an error to report beside its designed position.
        void reached() const noexcept
        {
            if (text_ != nullptr && char_ > text_->furthest_) {
                text_->furthest_ = char_;
                text_->furthest_line_ = line_;
            }
        }
        // The furthest position scanning reached in this text, or this
        // position when it is further.
        iterator furthest() const noexcept
        {
            if (text_ == nullptr || text_->furthest_ <= char_)
                return *this;
            return iterator(text_, text_->furthest_line_, text_->furthest_);
        }

    private:
        friend class text;
        iterator(const text* owner, std::size_t line, const char* character) noexcept
            : text_(owner), line_(line), char_(character)
        {
        }

        const text* text_ = nullptr;
        std::size_t line_ = 0;
        const char* char_ = nullptr;
    };

    // Reads the stream to its end. A final line without a newline gets one.
    // Throws read_error when the stream fails before its end.
    explicit text(std::istream& in);
    // A text of the given characters, with a newline appended when the last
    // line has none (a console line becomes a one-line text).
    explicit text(std::string content);

    text(const text&) = delete;
    text& operator=(const text&) = delete;

    iterator begin() const noexcept { return iterator(this, 0, buffer_.data()); }

    // The whole text, every line with its newline.
    const std::string& content() const noexcept { return buffer_; }
    bool empty() const noexcept { return buffer_.empty(); }

private:
    void seal();

    std::string buffer_;
    const char* end_ = nullptr;
    // The furthest position any scanning reached (iterator::reached), and
    // the starts of the two lines last asked for a column (a node's first
    // and last line), so that asking again on them does not scan back.
    mutable const char* furthest_ = nullptr;
    mutable std::size_t furthest_line_ = 0;
    mutable std::size_t column_lines_[2] = {static_cast<std::size_t>(-1), static_cast<std::size_t>(-1)};
    mutable const char* column_line_starts_[2] = {nullptr, nullptr};
    mutable unsigned char column_oldest_ = 0;
};

// Where a construct was read: its first and last characters, as 1-based
// lines and byte columns, both ends included. A node that was not read from
// text (one a tool built) has line 0: its place is not known.
struct source_range {
    std::size_t line = 0;
    std::size_t column = 0;
    std::size_t end_line = 0;
    std::size_t end_column = 0;

    bool known() const noexcept { return line != 0; }
};

// Character classes of the "C" locale on 7-bit codes; bytes 0x80 to 0xFF
// belong to none of them.
inline bool is_whitespace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
inline bool is_graphic(char c) noexcept { return c >= 0x21 && c <= 0x7e; }
inline bool is_control(char c) noexcept { return (c >= 0 && c < 0x20) || c == 0x7f; }
// Characters that may stand in a symbol: graphic, but none of ,'()
inline bool is_symbol_char(char c) noexcept { return is_graphic(c) && c != ',' && c != '\'' && c != '(' && c != ')'; }

void skip_whitespace(text::iterator& position) noexcept;

// Skips whitespace, then consumes the literal character by character; on a
// mismatch or at the end of the text the position becomes invalid. A null or
// empty literal only skips whitespace. No word-boundary test is made.
void match(text::iterator& position, const char* literal) noexcept;

// The words no symbol may be spelled as; filled by constructing keywords.
const std::set<std::string, std::less<>>& reserved_words();

class keyword {
public:
    explicit keyword(const char* word);
    const char* word() const noexcept { return word_; }

private:
    const char* word_;
};

// Writes a character of a position excerpt: control characters escaped.
void write_escaped(std::ostream& out, char character);
// Writes a character of an error message: only ESC is escaped.
void write_message_char(std::ostream& out, char character);

} // namespace qorvantel
