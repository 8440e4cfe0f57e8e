// Measures the peak stack that parsing, evaluating, writing and destroying a
// deeply nested expression take, to check the nesting bound against the
// stack the program gets.
//
// Each phase runs alone on a thread whose stack is a buffer painted with a
// pattern beforehand; the lowest byte that no longer holds the pattern marks
// the deepest point the phase reached. The per-level cost is the growth of
// that peak between two depths, so the fixed cost of the thread and of the
// phase's own frames drops out.
//
// Usage: nesting_stack [LOW HIGH]   (depths in levels, default 100 and 900)
#include "algebra/expression.h"
#include "relations/environment.h"
#include "text/diagnostics.h"
#include "text/text.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

using namespace qorvantel;

namespace {

constexpr std::size_t stack_size = 256u << 20;
constexpr unsigned char paint = 0xa5;

struct job {
    std::function<void()> work;
    std::string error;
};

void* run_job(void* argument)
{
    auto* task = static_cast<job*>(argument);
    try {
        task->work();
    } catch (const std::exception& error) {
        task->error = error.what();
    }
    return nullptr;
}

// Peak stack use of work, in bytes.
std::size_t measure(const std::function<void()>& work)
{
    static unsigned char* stack = static_cast<unsigned char*>(std::aligned_alloc(4096, stack_size));
    std::memset(stack, paint, stack_size);
    job task{work, {}};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstack(&attributes, stack, stack_size);
    pthread_t thread;
    if (pthread_create(&thread, &attributes, run_job, &task) != 0) {
        std::perror("pthread_create");
        std::exit(2);
    }
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    if (!task.error.empty()) {
        std::fprintf(stderr, "phase failed: %.200s\n", task.error.c_str());
        std::exit(2);
    }
    std::size_t untouched = 0;
    while (untouched < stack_size && stack[untouched] == paint)
        ++untouched;
    return stack_size - untouched;
}

std::string repeat(const std::string& piece, int count)
{
    std::string result;
    for (int i = 0; i < count; ++i)
        result += piece;
    return result;
}

struct shape {
    const char* name;
    std::function<std::string(int)> build; // an expression of the given depth
};

const char* const environment_text = "R(a int, b int)\n1, 2\n3, 4\n";

struct peaks {
    std::size_t parse, evaluate, write, destroy;
};

peaks measure_shape(const shape& each, int depth)
{
    text environment_source{std::string(environment_text)};
    text::iterator at = environment_source.begin();
    shared<environment> loaded = parsing<environment>::require("environment", at);

    text source(each.build(depth));
    shared<expression> query;
    peaks result{};
    result.parse = measure([&] {
        text::iterator position = source.begin();
        query = parsing<expression>::require("expression", position);
        expect_end(position);
    });
    result.evaluate = measure([&] { query->evaluate(loaded); });
    result.write = measure([&] {
        std::ostringstream out;
        out << query;
    });
    result.destroy = measure([&] { query = shared<expression>(); });
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    int low = argc > 2 ? std::atoi(argv[1]) : 100;
    int high = argc > 2 ? std::atoi(argv[2]) : 900;

    const shape shapes[] = {
        {"union", [](int n) { return repeat("union(", n) + "R" + repeat(")", n); }},
        {"minus", [](int n) { return repeat("minus(", n) + "R" + repeat(")", n); }},
        {"product", [](int n) { return repeat("product(", n) + "R" + repeat(")", n); }},
        {"select", [](int n) { return repeat("select(", n) + "R" + repeat(", EQ(a, 1))", n); }},
        {"project", [](int n) { return repeat("project(", n) + "R" + repeat(", a, b)", n); }},
        {"rename", [](int n) { return repeat("rename(", n) + "R" + repeat(", R(a, b))", n); }},
        {"NOT", [](int n) { return "select(R, " + repeat("NOT(", n) + "EQ(a, 1)" + repeat(")", n) + ")"; }},
        {"AND", [](int n) { return "select(R, " + repeat("AND(", n) + "EQ(a, 1)" + repeat(")", n) + ")"; }},
        {"OR", [](int n) { return "select(R, " + repeat("OR(", n) + "EQ(a, 1)" + repeat(")", n) + ")"; }},
    };

    std::printf("%-8s %9s %9s %9s %9s   (bytes per nesting level, depths %d to %d)\n", "shape", "parse", "evaluate",
                "write", "destroy", low, high);
    for (const auto& each : shapes) {
        peaks a = measure_shape(each, low);
        peaks b = measure_shape(each, high);
        auto per_level = [&](std::size_t x, std::size_t y) { return static_cast<double>(y - x) / (high - low); };
        std::printf("%-8s %9.0f %9.0f %9.0f %9.0f   (peak at %d: %zu %zu %zu %zu)\n", each.name,
                    per_level(a.parse, b.parse), per_level(a.evaluate, b.evaluate), per_level(a.write, b.write),
                    per_level(a.destroy, b.destroy), high, b.parse, b.evaluate, b.write, b.destroy);
    }
    return 0;
}
