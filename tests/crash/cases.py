"""The commands of certquorix-cli that write, as the crash-consistency harness
(scripts/crash-harness.py) runs them: how the world looks before (setup), the command killed at
each of its file and network calls, and the command the user runs next.

Each case has an address of its own, so cases never share the service's records. A setup step
is a tool run ("cli", args...), a certificate the service issues ("issue",) or the export of the
folder's PKCS#12 file to the world's top folder ("keep-p12",) for an import."""

from dataclasses import dataclass, field

SUBJECT = ["--country", "RU", "--state", "Moscow region", "--locality", "Moscow",
           "--organization", "Firm Ltd", "--common-name", "Ivan Petrov"]


@dataclass
class Case:
    name: str
    setup: list
    command: list
    next_command: list = field(default_factory=lambda: ["check", "--email", "{email}"])
    # The working key and certificate belong together in the new state as well as in the old.
    pair_always: bool = False

    @property
    def email(self):
        return self.name + "@mail.example"


def rsa_request(*extra):
    return ["cli", "request", "--email", "{email}", *SUBJECT, *extra]


def gost_request(*extra):
    return ["cli", "request", "--gost", "--email", "{email}", *SUBJECT, *extra]


ISSUE = ["issue"]
DOWNLOAD = ["cli", "download", "--yes", "--email", "{email}"]
EXPORT = ["cli", "export", "--no-open", "--email", "{email}"]
RSA_WORKING = [rsa_request(), ISSUE, DOWNLOAD]
GOST_WORKING = [gost_request(), ISSUE, DOWNLOAD]
RENEW = ["cli", "renew", "--email", "{email}"]

CASES = [
    Case("request-rsa-first", [], rsa_request()[1:]),
    Case("request-rsa", RSA_WORKING, rsa_request("--yes")[1:]),
    Case("request-gost-first", [], gost_request()[1:]),
    Case("request-gost", GOST_WORKING, gost_request("--yes")[1:]),
    Case("request-gost-over-rsa", RSA_WORKING, gost_request("--yes")[1:]),
    Case("request-rsa-over-gost", GOST_WORKING, rsa_request("--yes")[1:]),
    # The service issued a second certificate for the same key: download replaces the first.
    Case("download", RSA_WORKING + [ISSUE], DOWNLOAD[1:]),
    Case("download-gost", GOST_WORKING + [ISSUE], DOWNLOAD[1:]),
    # An earlier GOST key and certificate of the address brought back from their PKCS#12 file
    # over the pair of a later request.
    Case("import", GOST_WORKING + [EXPORT, ["keep-p12"], gost_request("--yes"), ISSUE, DOWNLOAD],
         ["import", "--yes", "--email", "{email}", "{world}/import.p12"]),
    # A renewal beside the working pair, which serves at every point.
    Case("renew", RSA_WORKING + [EXPORT], RENEW[1:], pair_always=True),
    Case("renew-gost", GOST_WORKING, RENEW[1:], pair_always=True),
    # The renewal's certificate swapped in: the previous pair moves into its dated folder.
    Case("download-renewal", RSA_WORKING + [EXPORT, RENEW, ISSUE], DOWNLOAD[1:],
         pair_always=True),
    Case("export", RSA_WORKING + [EXPORT], EXPORT[1:]),
    Case("export-gost", GOST_WORKING + [EXPORT], EXPORT[1:]),
    Case("forget", RSA_WORKING, ["forget", "--delete-folder", "--yes", "--email", "{email}"],
         ["list"]),
    # A clear request password in the settings file is scrambled and written back.
    Case("settings", [["open-request-password"]], ["settings"], ["list"]),
]
