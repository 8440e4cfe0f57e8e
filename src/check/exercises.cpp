// Reading exercise files and submissions.
#include "check/exercises.h"

#include "check/checker.h"
#include "parsing/words.h"

#include <set>
#include <sstream>

namespace qorvantel {

namespace {
// The operators forbid: may name, from the language's word table, and the
// list a message shows them in.
bool is_operator_word(const std::string& word)
{
    for (const language_word& each : language_words)
        if (each.role == word_role::expression_operator && word == each.text)
            return true;
    return false;
}

std::string operator_word_list()
{
    std::string list;
    for (const language_word& each : language_words)
        if (each.role == word_role::expression_operator)
            list += (list.empty() ? "" : ", ") + std::string(each.text);
    return list;
}

// A UTF-8 byte order mark, which some editors put at the start of a file.
const char* const byte_order_mark = "\xEF\xBB\xBF";

std::vector<std::string> lines_of(const std::string& source)
{
    std::vector<std::string> lines;
    std::istringstream in(source.rfind(byte_order_mark, 0) == 0 ? source.substr(3) : source);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

[[noreturn]] void fault(const std::string& name, std::size_t line, const std::string& what)
{
    throw check_setup_error(name + ":" + std::to_string(line) + ": " + what);
}

std::string trimmed(const std::string& text)
{
    std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return "";
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

bool starts_with(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// N, N.5 or N.0 (any number of zeros after), N at most 1000000; -1 for
// anything else.
double points_value(const std::string& text)
{
    std::size_t dot = text.find('.');
    std::string whole = text.substr(0, dot);
    std::string part = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 7 || whole.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    bool half = !part.empty() && part[0] == '5';
    if (dot != std::string::npos && (part.empty() || part.find_first_not_of("0", half ? 1 : 0) != std::string::npos))
        return -1;
    double n = std::stod(whole) + (half ? 0.5 : 0);
    return n > 1000000 ? -1 : n;
}

// "== ID" and an optional "[N point]" or "[N points]".
void read_heading(const std::string& line, const std::string& name, std::size_t number, exercise& into)
{
    std::string rest = trimmed(line.substr(2));
    std::size_t bracket = rest.find('[');
    into.id = trimmed(rest.substr(0, bracket));
    if (into.id.empty() || into.id.find_first_of(" \t") != std::string::npos)
        fault(name, number, "an exercise heading is \"== ID [N points]\", with an ID of one word.");
    if (bracket == std::string::npos)
        return;
    std::istringstream points(rest.substr(bracket + 1));
    std::string amount, word, closing;
    points >> amount >> word >> closing;
    double n = points_value(amount);
    if (n < 0 || (word != "points]" && word != "point]") || !closing.empty())
        fault(name, number, "the points are written \"[N points]\", N from 0 to 1000000 in steps of 0.5.");
    into.points = n;
}

void read_forbidden(const std::string& list, const std::string& name, std::size_t number, exercise& block)
{
    std::istringstream words(list);
    for (std::string word; words >> word;) {
        if (!is_operator_word(word))
            fault(name, number, "cannot forbid " + word + "; the operators are " + operator_word_list() + ".");
        block.forbidden.push_back(word);
    }
}

void finish(exercise& block, const std::string& name)
{
    if (block.answers.empty())
        fault(name, block.line, "exercise " + block.id + " has no \"--- answer\".");
    for (std::size_t i = 0; i < block.answers.size(); ++i)
        if (trimmed(block.answers[i]).empty())
            fault(name, block.answer_lines[i], "the answer is empty.");
    while (!block.question.empty() && block.question.back() == '\n')
        block.question.pop_back();
}
} // namespace

exercise_file parse_exercises(const std::string& source, const std::string& name)
{
    exercise_file file;
    std::vector<std::string> lines = lines_of(source);
    std::set<std::string> ids;
    exercise* block = nullptr;
    bool in_answer = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::size_t number = i + 1;
        if (starts_with(line, "#"))
            continue;
        if (starts_with(line, "==")) {
            if (block != nullptr)
                finish(*block, name);
            file.exercises.emplace_back();
            block = &file.exercises.back();
            block->line = number;
            read_heading(line, name, number, *block);
            if (!ids.insert(block->id).second)
                fault(name, number, "exercise " + block->id + " is defined twice.");
            in_answer = false;
            continue;
        }
        if (starts_with(line, "---")) {
            if (trimmed(line.substr(3)) != "answer" || block == nullptr)
                fault(name, number, "expected \"--- answer\" inside an exercise.");
            block->answers.emplace_back();
            block->answer_lines.push_back(number);
            in_answer = true;
            continue;
        }
        std::string text = trimmed(line);
        if (block != nullptr && starts_with(text, "forbid:")) {
            read_forbidden(text.substr(7), name, number, *block);
            continue;
        }
        if (in_answer) {
            block->answers.back() += line + "\n";
            continue;
        }
        // Keys and references: the file's before the first block.
        if (starts_with(text, "key:") || starts_with(text, "references:")) {
            try {
                read_constraint_line(text, block != nullptr ? block->constraints : file.constraints);
            } catch (const std::runtime_error& error) {
                fault(name, number, error.what());
            }
            continue;
        }
        if (starts_with(text, "database:")) {
            std::string path = trimmed(text.substr(9));
            if (path.empty())
                fault(name, number, "\"database:\" names no file.");
            (block != nullptr ? block->database : file.database) = path;
            (block != nullptr ? block->database_line : file.database_line) = number;
        } else if (block == nullptr) {
            if (!text.empty())
                fault(name, number, "text before the first \"== ID\" heading.");
        } else if (text == "strict-names") {
            block->strict_names = true;
        } else if (!text.empty() || !block->question.empty()) {
            block->question += line + "\n";
        }
    }
    if (block != nullptr)
        finish(*block, name);
    if (file.exercises.empty())
        fault(name, lines.size() + (lines.empty() ? 1 : 0), "no exercise (\"== ID\") in the file.");
    for (exercise& each : file.exercises) {
        constraint_set own = std::move(each.constraints);
        each.constraints = file.constraints;
        each.constraints.keys.insert(each.constraints.keys.end(), own.keys.begin(), own.keys.end());
        each.constraints.references.insert(each.constraints.references.end(), own.references.begin(),
                                           own.references.end());
    }
    for (const exercise& each : file.exercises)
        if (each.database.empty() && file.database.empty())
            fault(name, each.line, "exercise " + each.id + " has no database: add \"database: FILE\".");
    return file;
}

submission parse_submission(const std::string& source)
{
    submission read;
    std::vector<std::string> lines = lines_of(source);
    bool skipping = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::size_t number = i + 1;
        if (starts_with(line, "#"))
            continue;
        if (starts_with(line, "==")) {
            std::istringstream words(line.substr(2));
            submitted_answer answer;
            answer.line = number;
            words >> answer.id;
            std::getline(words, answer.rest);
            answer.rest = trimmed(answer.rest);
            skipping = answer.id.empty();
            if (skipping)
                read.problems.push_back({number, "a heading with no exercise id; the lines below it are not graded."});
            else
                read.answers.push_back(answer);
        } else if (skipping) {
            continue;
        } else if (!read.answers.empty()) {
            read.answers.back().source += line + "\n";
        } else if (!trimmed(line).empty()) {
            read.problems.push_back({number, "text before the first \"== ID\" is not graded."});
            skipping = true;
        }
    }
    return read;
}

std::string points_text(double points)
{
    auto whole = static_cast<unsigned long>(points);
    return std::to_string(whole) + (points > static_cast<double>(whole) ? ".5" : "");
}

} // namespace qorvantel
