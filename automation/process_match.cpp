#include "automation/process_match.h"

#include "automation/auto_rules.h"

#include <algorithm>

namespace zr417 {
namespace {

constexpr std::size_t kCommBytes = 15;  // the kernel's name field, without its terminator

std::string_view LastElement(std::string_view path)
{
    const auto cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool IsExeName(std::string_view s)
{
    if (s.size() < 4) return false;
    std::string tail(s.substr(s.size() - 4));
    std::transform(tail.begin(), tail.end(), tail.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return tail == ".exe";
}

// A comm name cut short by the kernel stands for a longer program name that
// begins with it.
bool CommMatches(std::string_view program, std::string_view comm)
{
    if (comm.empty()) return false;
    if (SameProgram(program, comm)) return true;
    if (comm.size() != kCommBytes || program.size() <= kCommBytes) return false;
    const std::string_view head = program.substr(0, kCommBytes);
    if (!IsExeName(program)) return head == comm;
    return std::equal(head.begin(), head.end(), comm.begin(), [](char a, char b) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(a) == lower(b);
    });
}

}  // namespace

bool ProgramMatches(std::string_view program, const ProcessInfo& process)
{
    if (program.empty()) return false;
    if (program.find('/') != std::string_view::npos) return !process.exe.empty() && process.exe == program;
    // A whole Windows path, as Wine shows the program started.
    if (program.find('\\') != std::string_view::npos) return SameProgram(program, process.firstArg);
    if (!process.exe.empty() && SameProgram(program, LastElement(process.exe))) return true;
    if (CommMatches(program, process.comm)) return true;
    const std::string_view arg = LastElement(process.firstArg);
    return !arg.empty() && SameProgram(program, arg);
}

}  // namespace zr417
