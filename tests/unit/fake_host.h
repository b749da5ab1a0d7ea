// The host the commands' unit tests run against: it answers each remote command from a
// script and records what it was sent.
#pragma once

#include <string>
#include <vector>

#include "remote/runner.h"

// Each command (streamed or not) prints the first answer left in answers, or nothing when none
// is left, and succeeds; standard error is "E". A line or input that holds failing fails
// (status 1): a script's input names the step that holds it after the guard's "ok". The lines
// sent (a terminal noted) and their input are recorded. The session is "me" at "addr".
struct FakeHost : fieldkeep::RemoteRunner {
    FakeHost();
    fieldkeep::RemoteResult exec(const std::string& line, const std::string& input,
                                 bool usePty) override;
    int execStreaming(const std::string& line, const std::string& input,
                      const fieldkeep::OutputSink& sink) override;
    void connect() override {}
    void disconnect() noexcept override {}
    void upload(fieldkeep::UploadSource&, const std::string&) override {}
    std::vector<std::string> answers;
    std::string failing, sent, inputs;
};
