// Reading the scenario tables (their form: scenario.cpp).
#include <cstdio>

#include "tests/support/scenario.h"

namespace scenario {

std::map<std::string, std::string> g_vars;
std::vector<Scenario> g_scenarios;

Strings pieces(const std::string& text, const std::string& separator)
{
    Strings out;
    size_t at = 0;
    for (size_t next; (next = text.find(separator, at)) != std::string::npos; at = next + separator.size())
        out.push_back(text.substr(at, next - at));
    out.push_back(text.substr(at));
    return out;
}

// The first `words` words of `text` as written; `rest_at` gets where the
// rest of the line starts.
Strings raw_words(const std::string& text, size_t words, size_t* rest_at)
{
    Strings out;
    size_t at = 0;
    auto skip = [&] { while (at < text.size() && isspace(static_cast<unsigned char>(text[at]))) ++at; };
    for (skip(); out.size() < words && at < text.size(); skip()) {
        std::string word;
        for (bool quoted = false; at < text.size() && (quoted || !isspace(static_cast<unsigned char>(text[at])));
             ++at) {
            if (text[at] == '"') quoted = !quoted;
            else word += text[at];
        }
        out.push_back(word);
    }
    *rest_at = at;
    return out;
}

std::string with_values(std::string text, const Strings& names, const Strings& values)
{
    for (size_t i = 0; i < values.size(); ++i) {
        std::string key = "${" + names[i] + "}";
        for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), values[i]);
    }
    return text;
}

std::string trimmed(std::string line)
{
    for (size_t at = line.find('#'); at != std::string::npos; at = line.find('#', at + 1)) {
        if (at == 0 || isspace(static_cast<unsigned char>(line[at - 1]))) line.erase(at);
    }
    line.erase(line.find_last_not_of(" \t\r") + 1);
    return line.erase(0, std::min(line.size(), line.find_first_not_of(" \t")));
}

// Reads a table into g_scenarios; false, saying where, when it is malformed.
bool read_table(const std::string& path)
{
    std::string bytes = harness::read_file(harness::windows_path(path));
    Strings lines = pieces(bytes, "\n");
    for (size_t number = 1; number <= lines.size(); ++number) {
        std::string line = trimmed(lines[number - 1]);
        size_t colon = line.find(':');
        auto bad = [&](const char* why) { return fprintf(stderr, "%s:%zu: %s\n", path.c_str(), number, why), false; };
        if (line.rfind("scenario ", 0) == 0) {
            if (colon == std::string::npos) return bad("scenario KEY: TITLE");
            g_scenarios.push_back(Scenario());
            g_scenarios.back().table = path;
            g_scenarios.back().key = trimmed(line.substr(9, colon - 9));
            g_scenarios.back().line = static_cast<int>(number);
            continue;
        }
        if (line.empty()) continue;
        if (g_scenarios.empty() || g_scenarios.back().table != path) return bad("a step before the first scenario");
        Scenario& s = g_scenarios.back();
        if (line.rfind("matrix:", 0) == 0 && (s.matrix = pieces(trimmed(line.substr(7)), " | ")).size() != 4)
            return bad("matrix: fault | what the user sees | left on disk | nothing else lost");
        if (line.rfind("each ", 0) == 0) {
            Strings names = pieces(trimmed(line.substr(5, colon - 5)), " "), values;
            size_t end = 0;
            if (colon != std::string::npos) values = raw_words(line.substr(colon + 1), 99999, &end);
            if (values.empty() || values.size() % names.size() || (!s.names.empty() && s.names != names))
                return bad("each NAME...: VALUE... (a value for every name, the same names on every each line)");
            s.names = names;
            for (size_t i = 0; i < values.size(); i += names.size())
                s.groups.emplace_back(values.begin() + i, values.begin() + i + names.size());
        } else if (line.rfind("matrix:", 0) != 0) {
            s.steps.push_back({line, static_cast<int>(number)});
        }
    }
    return !bytes.empty() || (fprintf(stderr, "%s: missing or empty\n", path.c_str()), false);
}

}  // namespace scenario
