// The console on a terminal, through the readline interface of libedit or
// of GNU readline (the build chooses).
//
// Ctrl-C: the handler only sets the interrupt flag. It is installed without
// SA_RESTART, so a read waiting for a key fails and the library gives up
// the line; during a query the long loops see the flag and throw, and the
// interactive loop reports the interruption like any error of a line.
#include "driver/line_editor.h"

#include "driver/completion.h"
#include "text/interrupt.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#if defined(QORVANTEL_LINE_EDITING_READLINE)
#include <readline/history.h>
#include <readline/readline.h>
#else
#include <editline/readline.h>
#endif

namespace qorvantel {

namespace {

// The history file keeps the newest entries up to this many.
constexpr int history_entries = 1000;
// Longer lines are run but not remembered, so that one pasted megabyte is
// not written to the history file again after every later line.
constexpr std::size_t longest_remembered_line = 1 << 16;

extern "C" void on_interrupt(int) { request_interrupt(); }

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
    std::string history_file_;
    std::string last_entry_;
    bool noticed_ = false;
    completer words_;
    std::string before_word_; // the line up to the word being completed
    std::vector<std::string> matches_;
    std::size_t next_match_ = 0;
};

line_editor* line_editor::current_ = nullptr;

#if defined(QORVANTEL_LINE_EDITING_READLINE)
// GNU readline goes on reading after a signal; this makes it give up the
// line when the signal was Ctrl-C.
int abandon_line_on_interrupt()
{
    if (interrupt_requested()) {
        rl_replace_line("", 0);
        rl_done = 1;
    }
    return 0;
}
#endif

line_editor::line_editor(std::ostream& out)
{
    current_ = this;
    // UTF-8 in string literals edits as characters. Only the character
    // classification follows the user's locale, and only on a terminal.
    std::setlocale(LC_CTYPE, "");

    rl_readline_name = "qorvantel";
    // The library's own handlers would pass Ctrl-C on to the default
    // action, which ends the program.
    rl_catch_signals = 0;
#if defined(QORVANTEL_LINE_EDITING_READLINE)
    rl_signal_event_hook = abandon_line_on_interrupt;
    rl_basic_word_break_characters = const_cast<char*>(completion_word_breaks);
#else
    rl_basic_word_break_characters = completion_word_breaks;
#endif
    rl_attempted_completion_function = complete;
    rl_completion_append_character = '\0';
    rl_initialize();

    stifle_history(history_entries);
    history_file_ = history_file_name();
    struct stat status {};
    if (!history_file_.empty() && stat(history_file_.c_str(), &status) == 0) {
        if (read_history(history_file_.c_str()) != 0) {
            // Writing would replace the earlier sessions' lines.
            notice(out, "Cannot read history file ");
            history_file_.clear();
        } else if (HIST_ENTRY* last = history_get(history_base + history_length - 1))
            last_entry_ = last->line;
    }
}

line_editor::~line_editor()
{
    if (handling_signals_) {
        sigaction(SIGINT, &previous_interrupt_, nullptr);
        sigaction(SIGQUIT, &previous_quit_, nullptr);
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
    // Written after every line, so that a session that is killed loses
    // nothing; the file holds at most history_entries lines, so rewriting
    // it whole stays cheap.
    if (!history_file_.empty() && write_history(history_file_.c_str()) != 0)
        notice(out, "Cannot write history file ");
}

void line_editor::notice(std::ostream& out, const char* what)
{
    const std::string name = history_file_;
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
