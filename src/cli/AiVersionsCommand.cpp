#include "AiVersionsCommand.h"

#include <ostream>

#include "CommandSession.h"
#include "PasswordSource.h"
#include "SignalWatch.h"
#include "TargetChoice.h"
#include "TextTable.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "model/JsonText.h"
#include "session/SessionTypes.h"

namespace {

// Camera texts as safe output: control characters become "?" and bytes that
// are not UTF-8 become U+FFFD, so neither a terminal nor a JSON reader
// trips over what a camera sent.
std::string Printable(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (valid && length >= 3) {
            // No overlong forms, surrogates or code points past U+10FFFF.
            const auto c1 = static_cast<unsigned char>(text[i + 1]);
            valid = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0) &&
                    !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
        }
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

}  // namespace

std::string AiVersionJson(const AiVersionResult& r) {
    CJsonObject object;
    object.Add("mac", Printable(r.mac))
        .Add("struct", Printable(r.structVersion))
        .Add("face", Printable(r.faceVersion))
        .Add("vehicle", Printable(r.vehicleVersion))
        .Add("id", r.verdictId);
    return object.Text();
}

// The verdict in a few words of the terminal's own: the window's rows are
// long for a table of 80 columns, misspell "information" and end in a
// full-width mark that a terminal table measures wrong.
std::string VerdictText(int id) {
    switch (id) {
        case IDS_AI_OK:
            return "versions read";
        case IDS_AI_FAILED:
            return "could not be read";
        case IDS_AI_NOT_SUPPORTED:
            return "no AI function";
        default:
            return LoadString(id);
    }
}

void PrintAiVersionTable(const std::vector<AiVersionResult>& results,
                         const std::vector<std::string>& ips, std::ostream& out, size_t columns) {
    CTextTable table({LoadString(IDS_COL_MAC), LoadString(IDS_COL_IP),
                      LoadString(IDS_COL_AI_STRUCT), LoadString(IDS_COL_AI_DETECT_FACE),
                      LoadString(IDS_COL_AI_VEHICLE), LoadString(IDS_COL_RESULT)});
    for (size_t i = 0; i < results.size(); ++i) {
        const AiVersionResult& r = results[i];
        table.AddRow({Printable(r.mac), i < ips.size() ? ips[i] : std::string(),
                      Printable(r.structVersion), Printable(r.faceVersion),
                      Printable(r.vehicleVersion), VerdictText(r.verdictId)});
    }
    // The long headings give way (the address when they cannot); the
    // short verdict stays whole.
    table.SetMaxWidth(columns);
    table.SetFit(1, CTextTable::Fit::Drop);
    for (const size_t column : {2, 3, 4}) {
        table.SetFit(column, CTextTable::Fit::Shrink);
    }
    table.Print(out);
}

namespace {

// Asks the cameras and gathers their answers, then stops the session.
// Nothing when every camera answered or the query ended, else the exit
// status (why is said on `err`).
std::optional<int> CollectAiVersions(CCommandSession& run, const std::vector<AiQuery>& queries,
                                     std::vector<AiVersionResult>& results, std::ostream& err) {
    CFirmhandSession& session = run.Session();
    // Results come back as events, one per camera in list order.
    const auto onMessage = [&results](const SessionEvent& event) {
        if (const auto* read = std::get_if<AiVersionsReadEvent>(&event)) {
            results.push_back(read->result);
        } else if (const auto* failed = std::get_if<AiVersionsFailedEvent>(&event)) {
            results.push_back(failed->result);
        }
    };
    if (!session.QueryAiVersions(queries)) {
        err << "firmhand-cli: the query could not be started\n";
        return 2;
    }
    const auto allIn = [&] { return results.size() >= queries.size(); };
    while (!allIn() && session.IsAiQueryRunning() && !run.StopRequested()) {
        run.PumpUntil([&] { return allIn() || run.StopRequested(); }, 1000, onMessage);
    }
    if (run.StopRequested()) {
        err << "firmhand-cli: interrupted\n";
        return kInterruptedExitStatus;
    }
    // The query posts every result before it reports that it no longer runs.
    run.Drain(onMessage);
    session.Stop();
    return std::nullopt;
}

}  // namespace

int RunAiVersions(const AiVersionsOptions& options, const CliContext& context, std::ostream& out,
                  std::ostream& err) {
    CCommandSession run(CommandSessionOptions(context, options.targets, options.adapter),
                        context.stopRequested);
    CFirmhandSession& session = run.Session();
    if (const std::optional<int> status = run.StartAndSearch(options.seconds, err)) {
        return *status;
    }

    bool missing = false;
    const std::vector<DeviceInfoPtr> devices =
        ChooseCameras(options.onlyTargets ? CamerasAtTargets(session.Devices(), options.targets)
                                          : session.Devices(),
                      options.cameras, err, &missing);
    if (devices.empty()) {
        err << "firmhand-cli: no camera to ask\n";
        return kNoCameraExitStatus;
    }
    const std::string user =
        options.userGiven ? options.user : session.Settings().GetString(settings::kUsername);
    std::string password = options.passwordGiven
                               ? options.password
                               : session.Settings().GetString(settings::kPassword);
    // Asked once the cameras are found, so that a search that finds none
    // asks for nothing.
    if (!options.passwordGiven) {
        std::string typed;
        bool given = false;
        bool wasTyped = false;
        AskDevicePassword(!password.empty(), typed, given, wasTyped);
        if (run.StopRequested()) {
            err << "firmhand-cli: interrupted\n";
            return kInterruptedExitStatus;
        }
        if (given) {
            password = typed;
        }
    }
    std::vector<AiQuery> queries;
    std::vector<std::string> ips;
    for (const DeviceInfoPtr& record : devices) {
        queries.push_back(MakeAiQuery(*record, user, password));
        ips.push_back(record->ip);
    }

    std::vector<AiVersionResult> results;
    if (const std::optional<int> status = CollectAiVersions(run, queries, results, err)) {
        return *status;
    }
    if (options.json) {
        std::vector<std::string> items;
        for (const AiVersionResult& r : results) {
            items.push_back(AiVersionJson(r));
        }
        out << JsonArray(items) << "\n";
    } else {
        const auto terminal = context.terminal ? context.terminal() : std::nullopt;
        PrintAiVersionTable(results, ips, out,
                            terminal ? static_cast<size_t>(terminal->columns) : 0);
    }
    if (missing) {
        return kNoCameraExitStatus;
    }
    bool failed = results.size() < queries.size();
    for (const AiVersionResult& r : results) {
        failed = failed || !r.read;
    }
    return failed ? 1 : 0;
}
