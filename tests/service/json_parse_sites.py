#!/usr/bin/env python3
"""Every JSON parse in src/ either goes through the one rule for text from outside
(ReadJsonText: nesting bounded before parsing, repeated keys refused) or parses text the
program made itself. A new parse that is in neither list fails here, so untrusted text
cannot slip past the rule unnoticed."""
import pathlib
import re
import sys

# (file, what is parsed): text of our own, never from a client, file or broker.
OWN_TEXT = [
    ("src/server/Automation.cpp", "action.body"),            # stored after the rule accepted it
    ("src/server/HttpServer.cpp", "std::string(reinterpret_cast<const char*>(kApiDescription"),        # built into the program
    ("src/cli/GroupCommands.cpp", "bytes.begin("),           # EncodeGroups' own output
    ("src/cli/GroupCommands.cpp", "CommandJson("),            # our own JSON result
    ("src/core/data/DescriptionText.cpp", "text"),           # nesting bounded just above
    ("src/core/service/MqttEvents.cpp", "lastStateJson"),
    ("src/core/service/MqttEvents.cpp", "previous"),
    ("src/core/service/MqttEvents.cpp", "current"),
    ("src/core/service/ScheduleService.cpp", "action.body"),
    ("src/core/service/ScheduleService.cpp", "ScheduleRunJson("),
    ("src/core/service/Scheduler.cpp", "SchedulesToJson("),
    ("src/core/service/Mqtt.cpp", "stateJson"),
    ("src/core/blocks/Groups.cpp", "extra"),                 # re-read of what the reader kept
]

PARSE = re.compile(r"\b(?:json|Json|OrderedJson|ordered_json|nlohmann::json)::parse\(\s*([^,)]*)")


def main() -> int:
    root = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2]
    failures = []
    for path in sorted((root / "src").rglob("*")):
        if path.suffix not in (".cpp", ".h") or path.name == "JsonInput.h":
            continue
        rel = path.relative_to(root).as_posix()
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            for m in PARSE.finditer(line):
                argument = m.group(1).strip()
                if not any(rel == f and argument.startswith(a) for f, a in OWN_TEXT):
                    failures.append(f"{rel}:{number}: parses {argument!r} past ReadJsonText")
    for f in failures:
        print(f)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
