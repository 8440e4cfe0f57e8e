// The console on a terminal, through the readline interface of libedit.
//
// Ctrl-C: the handler only sets the interrupt flag. During a query the long
// loops see the flag and throw, and the interactive loop reports the
// interruption like any error of a line. While a line is typed, libedit
// reads its keys through read_key below, which gives up the line as soon as
// the flag is set, even when Ctrl-C came while the library was busy
// between two keys.
#include "driver/line_editor.h"

#include "driver/completion.h"
#include "driver/history.h"
#include "text/interrupt.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

#include <editline/readline.h>

namespace qorvantel {

namespace {

// Longer lines are run but not remembered, so that one pasted megabyte does
// not weigh on the history file and on every session that loads it.
constexpr std::size_t longest_remembered_line = 1 << 16;

extern "C" void on_interrupt(int) { request_interrupt(); }

// The terminal opened a second time, for read_key alone, so that its reads
// never block without touching how the shell's own descriptor reads.
int keys = -1;

// Reads one byte of a key into byte; false once Ctrl-C was pressed, and at
// the end of the input or on a read error.
//
// SIGINT stays blocked but inside pselect, which unblocks it only while it
// waits: a Ctrl-C from before the wait is seen in the flag, one during the
// wait ends it, and none can come between the check and the wait, where a
// plain read would sleep through it until the next key. The read itself
// must not block either: Ctrl-C throws away the keys the terminal holds,
// also those pselect has just reported.
bool read_key_byte(int terminal, char& byte)
{
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &interrupt, &previous);
    sigset_t while_waiting = previous;
    sigdelset(&while_waiting, SIGINT);
    bool read_one = false;
    while (!interrupt_requested()) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(terminal, &readable);
        const int ready = pselect(terminal + 1, &readable, nullptr, nullptr, nullptr, &while_waiting);
        if (ready < 0 && errno == EINTR)
            continue; // Ctrl-C, seen above; or a window size change
        if (ready < 0)
            break;
        const ssize_t count = read(terminal, &byte, 1);
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        read_one = count == 1;
        break;
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return read_one;
}

// libedit's key reader: one character, decoded from its bytes in the
// user's locale as libedit decodes them itself (an invalid byte is dropped;
// a sequence cut short restarts at its last byte). EOF gives up the line:
// at the end of the input, on a read error, and on Ctrl-C, which read_line
// tells apart by the interrupt flag.
int read_key(FILE*)
{
    char bytes[MB_LEN_MAX];
    std::size_t count = 0;
    for (;;) {
        if (!read_key_byte(keys, bytes[count]))
            return EOF;
        ++count;
        for (;;) {
            wchar_t character = 0;
            std::mbstate_t state{};
            const std::size_t used = std::mbrtowc(&character, bytes, count, &state);
            if (used == static_cast<std::size_t>(-1) && count > 1) {
                bytes[0] = bytes[count - 1];
                count = 1;
                continue;
            }
            if (used == static_cast<std::size_t>(-1))
                count = 0;
            else if (used == static_cast<std::size_t>(-2) && count == sizeof bytes)
                count = 0; // no character is this long: dropped
            else if (used != static_cast<std::size_t>(-2))
                return static_cast<int>(character);
            break;
        }
    }
}

// The history file: QORVANTEL_HISTORY when set (empty for none), else
// ~/.qorvantel_history; none without a home directory.
std::string history_file_name()
{
    if (const char* named = std::getenv("QORVANTEL_HISTORY"))
        return named;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        return std::string();
    return std::string(home) + "/.qorvantel_history";
}

class line_editor final : public line_source {
public:
    explicit line_editor(std::ostream& out);
    ~line_editor() override;
    line_editor(const line_editor&) = delete;
    line_editor& operator=(const line_editor&) = delete;

    void environment_loaded(const environment& loaded) override;
    bool read_line(std::ostream& out, std::string& line) override;

private:
    static char** complete(const char* word, int start, int end);
    static char* next_match(const char* word, int state);
    void remember(const std::string& line, std::ostream& out);
    void notice(std::ostream& out, const char* what);

    // The library's callbacks are plain functions; there is one terminal.
    static line_editor* current_;

    struct sigaction previous_interrupt_ {};
    struct sigaction previous_quit_ {};
    bool handling_signals_ = false;
    history_file history_;
    bool keeping_history_ = false;
    std::string last_entry_;
    bool noticed_ = false;
    completer words_;
    std::string before_word_; // the line up to the word being completed
    std::vector<std::string> matches_;
    std::size_t next_match_ = 0;
};

line_editor* line_editor::current_ = nullptr;

line_editor::line_editor(std::ostream& out) : history_(history_file_name())
{
    current_ = this;
    // UTF-8 in string literals edits as characters. Only the character
    // classification follows the user's locale, and only on a terminal.
    std::setlocale(LC_CTYPE, "");

    rl_readline_name = "qorvantel";
    // The library's own handlers would pass Ctrl-C on to the default
    // action, which ends the program.
    rl_catch_signals = 0;
    rl_basic_word_break_characters = completion_word_breaks;
    rl_attempted_completion_function = complete;
    rl_completion_append_character = '\0';
    // Without a second descriptor the library's own reader reads the keys;
    // only a Ctrl-C between two keys then waits for the next key.
    const char* terminal = ttyname(STDIN_FILENO);
    if (terminal != nullptr)
        keys = open(terminal, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (keys >= 0)
        rl_getc_function = read_key;
    rl_initialize();

    stifle_history(static_cast<int>(history_limit));
    keeping_history_ = !history_.name().empty();
    std::vector<std::string> entries;
    if (keeping_history_ && !history_.load(entries)) {
        // Writing would replace the earlier sessions' lines.
        notice(out, "Cannot read history file ");
        keeping_history_ = false;
    }
    for (const std::string& entry : entries)
        add_history(entry.c_str());
    if (!entries.empty())
        last_entry_ = entries.back();
}

line_editor::~line_editor()
{
    // The lines of this and of other sessions were appended one by one;
    // the file is cut back to its newest entries only now.
    if (keeping_history_)
        history_.trim();
    if (handling_signals_) {
        sigaction(SIGINT, &previous_interrupt_, nullptr);
        sigaction(SIGQUIT, &previous_quit_, nullptr);
    }
    if (keys >= 0) {
        close(keys);
        keys = -1;
    }
    current_ = nullptr;
}

void line_editor::environment_loaded(const environment& loaded)
{
    words_ = completer(loaded);
    // Only from here on: Ctrl-C while a large environment file is read
    // still ends the program, as there is no session yet to go back to.
    struct sigaction on_ctrl_c {};
    on_ctrl_c.sa_handler = on_interrupt;
    sigemptyset(&on_ctrl_c.sa_mask);
    on_ctrl_c.sa_flags = 0;
    sigaction(SIGINT, &on_ctrl_c, &previous_interrupt_);
    // Nothing typed may end the session but Ctrl-D: Ctrl-\ would quit it
    // with a core dump.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGQUIT, &ignore, &previous_quit_);
    handling_signals_ = true;
}

bool line_editor::read_line(std::ostream& out, std::string& line)
{
    for (;;) {
        // The library writes the prompt through C stdio: what the program
        // wrote before must be out first.
        out.flush();
        clear_interrupt();
        char* typed = readline("$");
        if (typed == nullptr && !interrupt_requested())
            return false;
        if (typed == nullptr || interrupt_requested()) {
            // Ctrl-C while typing: the line is dropped, the next prompt
            // starts on a line of its own.
            std::free(typed);
            clear_interrupt();
            out.put('\n');
            continue;
        }
        line.assign(typed);
        std::free(typed);
        remember(line, out);
        return true;
    }
}

void line_editor::remember(const std::string& line, std::ostream& out)
{
    if (line.empty() || line == last_entry_ || line.size() > longest_remembered_line)
        return;
    add_history(line.c_str());
    last_entry_ = line;
    // Appended at once, so that a session that is killed loses nothing,
    // and under a lock, so that sessions side by side lose nothing either.
    if (keeping_history_ && !history_.append(line))
        notice(out, "Cannot write history file ");
}

void line_editor::notice(std::ostream& out, const char* what)
{
    const std::string& name = history_.name();
    // A history file that fails is said once; the session goes on.
    if (noticed_)
        return;
    noticed_ = true;
    out << what << name << "; history is kept for this session only.\n";
    out.flush();
}

char** line_editor::complete(const char* word, int start, int)
{
    current_->before_word_.assign(rl_line_buffer, static_cast<std::size_t>(start));
    // Only the language's words: no fall-back to file names.
    rl_attempted_completion_over = 1;
    return rl_completion_matches(word, next_match);
}

char* line_editor::next_match(const char* word, int state)
{
    line_editor& editor = *current_;
    if (state == 0) {
        editor.matches_ = editor.words_.matches(editor.before_word_, word);
        editor.next_match_ = 0;
    }
    if (editor.next_match_ >= editor.matches_.size())
        return nullptr;
    // The library frees what it is given.
    return strdup(editor.matches_[editor.next_match_++].c_str());
}

} // namespace

std::unique_ptr<line_source> open_line_editor(std::ostream& out)
{
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))
        return nullptr;
    return std::unique_ptr<line_source>(new line_editor(out));
}

} // namespace qorvantel
