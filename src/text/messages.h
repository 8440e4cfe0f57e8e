// The fixed texts of every program, written once: the interpreter's console
// failures and usage, the memory failure in its one wording, the companion
// programs' refusals of an input file, and the converter's and the
// checker's usage and help.
// Each is byte-exact output; tests compare them whole.
#pragma once

namespace qorvantel::messages {

// The interpreter.
inline constexpr const char* cannot_read_input = "Cannot read standard input.";
inline constexpr const char* cannot_write_output = "Cannot write standard output.";
inline constexpr const char* usage = "syntax:\n"
                                     "batch mode:  qorvantel [input-file-spec output-file-spec]\n"
                                     "interactive: qorvantel initial-environment-file-spec";

// Every program: an allocation past the memory budget.
inline constexpr const char* out_of_memory = "Out of memory.";
// Added to an answer that ran out of memory when it holds a product.
inline constexpr const char* product_out_of_memory
    = "The answer builds a Cartesian product, where a join condition may be missing.";
// The page: the same failure, and why it matters there (the page stays
// usable, and the user learns why nothing came back).
inline constexpr const char* page_out_of_memory = "Out of memory: the result does not fit in the page's memory.";
// An exception that is no error of ours: a fault to report, never to hide.
inline constexpr const char* internal_error = "Internal error.";

// Reading an input file (text/input_file.h); FILE precedes each.
inline constexpr const char* is_a_directory = " is a directory.";
inline constexpr const char* is_a_device = " is a device, not a file.";
inline constexpr const char* is_a_fifo = " is a named pipe, not a file.";
inline constexpr const char* is_a_socket = " is a socket, not a file.";
inline constexpr const char* is_not_a_file = " is not a file.";
inline constexpr const char* larger_than_budget = " is larger than the memory budget of ";
inline constexpr const char* standard_input = "Standard input";
inline constexpr const char* read_only_once = "standard input (-) can be read only once.";

// qorvantel-convert.
inline constexpr const char* convert_usage
    = "Usage: qorvantel-convert from-csv [--name NAME] [--types TYPES] FILE.csv...  > data.env\n"
      "       qorvantel-convert from-sqlite DATABASE.sqlite [TABLE...]              > data.env\n"
      "       qorvantel-convert to-csv ENVIRONMENT DIRECTORY\n"
      "       qorvantel-convert to-sql [--dialect sqlite|postgresql|duckdb] ENVIRONMENT [EXPRESSION]\n"
      "       qorvantel-convert to-latex EXPRESSION\n"
      "       qorvantel-convert --help | --version\n";

inline constexpr const char* convert_help
    = "Brings data into qorvantel's environment format and takes relations and\n"
      "queries out of it.\n"
      "\n"
      "  from-csv      one relation per CSV file (a header row names the columns),\n"
      "                named after the file or NAME; types inferred: int when every\n"
      "                value is a 32-bit integer, else char(n). TYPES sets them by\n"
      "                column: name=int,city=char,code=char(5)\n"
      "  from-sqlite   every table of the database, or the named tables and views\n"
      "  to-csv        one CSV file per relation, NAME.csv, into DIRECTORY\n"
      "  to-sql        CREATE TABLE and INSERT for every relation, then a SELECT\n"
      "                that returns the rows qorvantel returns for EXPRESSION, in\n"
      "                the same order (default dialect: sqlite)\n"
      "  to-latex      EXPRESSION in textbook notation as LaTeX math (amsmath)\n"
      "\n"
      "ENVIRONMENT and EXPRESSION are files; - is standard input. Output goes to\n"
      "standard output unless a directory is named. On failure nothing is\n"
      "written, one message goes to standard error, and the exit status is 1\n"
      "(2 for a wrong command line).\n";

// qorvantel-check.
inline constexpr const char* check_usage
    = "usage: qorvantel-check [--json] [--instances N] [--seed S] [--bound N] [--strict-names]\n"
      "                       [--key R(a)]... [--references R(a)->S(b)]... [--constraints FILE]\n"
      "                       ENVIRONMENT REFERENCE ANSWER\n"
      "       qorvantel-check --lint [--json] ENVIRONMENT EXPRESSION\n"
      "       qorvantel-check --grade [--json] [--jobs N] EXERCISES SUBMISSION...\n"
      "       qorvantel-check --help | --version\n";

inline constexpr const char* check_help = "Checks a relational algebra answer against a reference expression.\n"
                                          "\n"
                                          "  qorvantel-check [options] ENVIRONMENT REFERENCE ANSWER\n"
                                          "      Evaluates both expressions on the environment's database; when they\n"
                                          "      differ, shrinks the database to a smallest counterexample; when they\n"
                                          "      agree, searches generated databases with the same schemas.\n"
                                          "  qorvantel-check --lint [--json] ENVIRONMENT EXPRESSION\n"
                                          "      Reports the expression's problems that no row needs to show.\n"
                                          "  qorvantel-check --grade [--json] [--jobs N] EXERCISES SUBMISSION...\n"
                                          "      Checks every answer of every submission and prints the points.\n"
                                          "\n"
                                          "Files hold one expression each; - is standard input.\n"
                                          "Options:\n"
                                          "  --json            one JSON object instead of words\n"
                                          "  --instances N     generated databases to try (default 500)\n"
                                          "  --seed S          seed of the generated databases (default 1)\n"
                                          "  --strict-names    column names must agree too\n"
                                          "  --jobs N          with --grade: check answers in N worker processes at\n"
                                          "                    once (1 to 64, default 1)\n"
                                          "  --bound N         rows per relation of the exhaustive check (default 4;\n"
                                          "                    0: search only)\n"
                                          "  --key R(a, ...)   a key every database of the check keeps\n"
                                          "  --references R(a)->S(b)\n"
                                          "                    a reference every database of the check keeps\n"
                                          "  --constraints FILE  keys and references, one \"key:\" or \"references:\"\n"
                                          "                    line each\n"
                                          "  --help, --version\n"
                                          "Exit status: 0 no difference (no problem), 1 differs (problems found),\n"
                                          "2 usage error, unreadable file, or an environment or reference in error.\n";

} // namespace qorvantel::messages
