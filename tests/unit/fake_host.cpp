#include "fake_host.h"

using namespace fieldkeep;

FakeHost::FakeHost() {
    session().address = "addr";
    session().login = "me";
}

RemoteResult FakeHost::exec(const std::string& line, const std::string& input, bool usePty) {
    sent += line + (usePty ? " on a terminal\n" : "\n");
    inputs += input;
    const std::size_t at = failing.empty() ? std::string::npos : input.find(failing);
    if (at != std::string::npos) {
        const std::size_t step = input.rfind("\nstep ", at) + 6;
        return {1, "ok\nfailed " + input.substr(step, input.find(' ', step) - step) + " 1\n", "E"};
    }
    const std::string answer = answers.empty() ? "" : answers.front();
    if (!answers.empty())
        answers.erase(answers.begin());
    return {!failing.empty() && line.find(failing) != std::string::npos, answer, "E"};
}

int FakeHost::execStreaming(const std::string& line, const std::string& input,
                            const OutputSink& sink) {
    const RemoteResult result = exec(line, input, false);
    sink(result.output.data(), result.output.size());
    return result.status;
}
