#!/usr/bin/env python3
"""qdxupdate_test.exe under Wine against a mirror on 127.0.0.1 that this test
starts and stops: a first install, an update by patches, the fall-backs,
detached signature files, and every failure that must leave the installed
databases byte for byte as they were. The test build trusts the test keys only; the shipped qdxupdate.exe
must refuse what they sign.

  updater_test.py --bin-dir BUILD/bin --test-bin BUILD/test-bin --wine-run BUILD/wine-run --prefix BUILD/wineprefix
"""
import argparse
import http.server
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dbmaker  # noqa: E402

MAIN = [("main.hdb", b"44d88612fea8a8f36de82e1278abb02f:68:Eicar-Test-Main\n")]
BYTECODE = [("bytecode.hdb", b"aa4d4e37df98ab9e2a8b5e9c8dd8d9c3:10:Bytecode-Test\n")]


def daily_files(version):
    lines = "".join("Daily.Test.%d-%d:0:*:%08x41424344\n" % (version, i, version * 100 + i) for i in range(version % 7 + 3))
    return [("daily.ndb", lines.encode()),
            ("daily.hdb", ("%032x:%d:Daily.Hash.%d\n" % (version, version, version)).encode())]


class Mirror:
    """Files by name, and how to misbehave for some of them."""

    def __init__(self, certificate=None):
        """`certificate`: (cert, key) files to serve HTTPS under."""
        self.files = {}
        self.rules = {}  # name -> "404" | "429" | "close" | "truncate" | "cut-once" | "slow" | "trickle" | "head-only"
        self.requests = []
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), self._handler())
        self.secure = certificate is not None
        if self.secure:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*certificate)
            self.server.socket = context.wrap_socket(self.server.socket, server_side=True)
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def url(self):
        # A certificate names the host; Wine matches names, not addresses.
        return ("https://localhost:%d/db" if self.secure else "http://127.0.0.1:%d/db") % self.port

    def stop(self):
        self.server.shutdown()
        self.server.server_close()

    def _handler(self):
        mirror = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def do_GET(self):
                name = self.path.rsplit("/", 1)[-1]
                rng = self.headers.get("Range")
                mirror.requests.append((name, rng, self.headers.get("User-Agent")))
                rule = mirror.rules.get(name)
                if rule == "slow":
                    time.sleep(4)
                if rule == "close":
                    self.close_connection = True
                    self.connection.close()
                    return
                if rule == "429":
                    self.send_response(429)
                    self.send_header("Retry-After", "7200")
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                if rule == "404" or name not in mirror.files or (rule == "head-only" and not rng):
                    self.send_response(404)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                data = mirror.files[name]
                start = 0
                if rng and rng.startswith("bytes="):
                    first, _, last = rng[6:].partition("-")
                    start = int(first)
                    end = min(int(last), len(data) - 1) if last else len(data) - 1
                    body = data[start:end + 1]
                    self.send_response(206)
                    self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, len(data)))
                else:
                    body = data
                    self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                if rule == "trickle":  # a byte now and then, for minutes
                    try:
                        for i in range(len(body)):
                            self.wfile.write(body[i:i + 1])
                            self.wfile.flush()
                            time.sleep(0.25)
                    except OSError:
                        pass
                    self.close_connection = True
                    return
                if rule == "truncate" or (rule == "cut-once" and start == 0 and len(body) > 600):
                    if rule == "cut-once":
                        mirror.rules[name] = "served"
                    self.wfile.write(body[: len(body) // 2])
                    self.wfile.flush()
                    self.close_connection = True
                    self.connection.shutdown(2)
                    return
                self.wfile.write(body)

        return Handler


class Case:
    def __init__(self, args, name):
        self.args = args
        self.name = name
        self.dir = os.path.join(args.prefix, "drive_c", "qdxupdate-tests", name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(os.path.join(self.dir, "signatures"))
        self.program = "qdxupdate_test.exe"
        shutil.copy(os.path.join(args.test_bin, self.program), self.dir)
        shutil.copy(os.path.join(args.bin_dir, "qdxupdate.exe"), self.dir)
        shutil.copy(os.path.join(args.bin_dir, "quendix3.dat"), self.dir)

    def sig(self, name):
        return os.path.join(self.dir, "signatures", name)

    def install(self, name, data):
        with open(self.sig(name), "wb") as f:
            f.write(data)

    def ini(self, mirror_url, record=None, extra=""):
        text = "[update]\r\nMirror=%s\r\nRetryWaitSeconds=0\r\nTimeoutSeconds=10\r\n" % mirror_url
        if record:
            text += "TestVersionRecord=%s\r\n" % record
        with open(os.path.join(self.dir, "update.ini"), "w") as f:
            f.write(text + extra)

    def snapshot(self):
        """The databases (the compiled image the updater builds aside)."""
        folder = os.path.join(self.dir, "signatures")
        return {n: open(os.path.join(folder, n), "rb").read() for n in sorted(os.listdir(folder)) if n != "quendix.img"}

    def image_built(self):
        return os.path.exists(self.sig("quendix.img"))

    def start(self, *arguments, program=None, quiet=True):
        command = [self.args.wine_run, "C:\\qdxupdate-tests\\%s\\%s" % (self.name, program or self.program)] + (["/quiet"] if quiet else [])
        return subprocess.Popen(command + list(arguments), cwd=self.dir, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, *arguments, program=None):
        return self.start(*arguments, program=program).wait(timeout=120)

    def log(self):
        path = os.path.join(self.dir, "update.log")
        return open(path, encoding="latin-1").read() if os.path.exists(path) else ""

    def log_bytes(self):
        path = os.path.join(self.dir, "update.log")
        return open(path, "rb").read() if os.path.exists(path) else b""


def helper(args, *arguments):
    """update_test_helper.exe with `arguments`, started (not waited for)."""
    folder = os.path.join(args.prefix, "drive_c", "qdxupdate-tests")
    shutil.copy(os.path.join(args.test_bin, "update_test_helper.exe"), folder)
    return subprocess.Popen([args.wine_run, "C:\\qdxupdate-tests\\update_test_helper.exe"] + list(arguments),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)


def server_certificate(work, name, section=None):
    """A certificate for the test mirror: by the tests' authority under
    `section` of certs/ext.cnf, or self-signed (section None)."""
    certs = dbmaker.CERTS
    key, cert = os.path.join(work, name + ".key"), os.path.join(work, name + ".crt")
    if section is None:
        subprocess.run(["openssl", "req", "-x509", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-subj", "/CN=localhost",
                        "-addext", "subjectAltName=DNS:localhost", "-days", "30", "-out", cert], check=True, capture_output=True)
        return cert, key
    request = os.path.join(work, name + ".csr")
    subprocess.run(["openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-subj", "/CN=localhost", "-config",
                    os.path.join(certs, "ext.cnf"), "-out", request], check=True, capture_output=True)
    subprocess.run(["openssl", "x509", "-req", "-in", request, "-CA", os.path.join(certs, "tls-ca.crt"), "-CAkey",
                    os.path.join(certs, "tls-ca.key"), "-set_serial", str(int(time.time() * 1000)), "-days", "30",
                    "-extfile", os.path.join(certs, "ext.cnf"), "-extensions", section, "-out", cert], check=True, capture_output=True)
    return cert, key


def https_cases(args, plain):
    """The mirror over HTTPS: a certificate from an authority the machine
    trusts is accepted; one from no trusted authority, or for another
    name, is not, and the next mirror is asked instead."""
    work = tempfile.mkdtemp()
    try:
        der = os.path.join(args.prefix, "drive_c", "qdxupdate-tests", "mirror-ca.der")
        subprocess.run(["openssl", "x509", "-in", os.path.join(dbmaker.CERTS, "tls-ca.crt"), "-outform", "DER", "-out", der], check=True)
        shutil.copy(os.path.join(args.test_bin, "trust_test_root.exe"), os.path.dirname(der))
        code = subprocess.run([args.wine_run, "C:\\qdxupdate-tests\\trust_test_root.exe", "C:\\qdxupdate-tests\\mirror-ca.der"],
                              stdin=subprocess.DEVNULL, capture_output=True).returncode
        expect(code == 0, "https: the test's authority could not be trusted")

        secure = Mirror(server_certificate(work, "good", "server"))
        serve_full(secure, 11)
        case = Case(args, "https")
        case.ini(secure.url())
        code = case.run()
        expect(code == 0 and case.snapshot() == {n: secure.files[n] for n in ("bytecode.cvd", "daily.cvd", "main.cvd")},
               "https: exit %d" % code, case)
        secure.stop()

        serve_full(plain, 11)
        for name, certificate in (("untrusted", server_certificate(work, "self")),
                                  ("othername", server_certificate(work, "elsewhere", "elsewhere"))):
            secure = Mirror(certificate)
            serve_full(secure, 11)
            case = installed_case(args, "https-" + name, secure)
            before = case.snapshot()
            code = case.run()
            expect(code == 1 and case.snapshot() == before and not secure.requests, "https %s: exit %d" % (name, code), case)
            expect("certificate" in case.log() and "not used again in this run" in case.log(), "https %s: not said" % name, case)
            expect("Versions after: main 1, daily 10, bytecode 5" in case.log(), "https %s: versions not said" % name, case)
            # With a second mirror, that one is asked instead; what is installed at the end decides.
            case.ini(secure.url(), extra="Mirror=%s\r\n" % plain.url())
            code = case.run("/force")
            expect(code == 0 and case.snapshot().get("daily.cvd") == plain.files["daily.cvd"], "https %s, then plain: exit %d" % (name, code), case)
            last = case.log().rsplit("Update started", 1)[-1]
            expect("updated and verified" in last and "Not every database" not in last, "https %s, then plain: summary" % name, case)
            secure.stop()
    finally:
        shutil.rmtree(work, ignore_errors=True)


def record(main, daily, bytecode, made=None):
    return "0.103.12:%d:%d:%d:1:90:0:%d" % (main, daily, int(made if made is not None else time.time()), bytecode)


FAILURES = []


def expect(condition, text, case=None):
    if not condition:
        FAILURES.append(text + ("" if case is None else "\n--- update.log of %s:\n%s" % (case.name, case.log())))
        print("FAIL: " + text)


def serve_full(mirror, daily_version=10):
    for name in [n for n in mirror.files if n.endswith(".sign")]:
        del mirror.files[name]  # they were made for other bytes
    mirror.files["main.cvd"] = dbmaker.make_cvd("main", 1, MAIN)
    mirror.files["daily.cvd"] = dbmaker.make_cvd("daily", daily_version, daily_files(daily_version))
    mirror.files["bytecode.cvd"] = dbmaker.make_cvd("bytecode", 5, BYTECODE)


def installed_case(args, name, mirror, record_text=None):
    """An installation holding main 1, daily 10, bytecode 5."""
    case = Case(args, name)
    case.install("main.cvd", dbmaker.make_cvd("main", 1, MAIN))
    case.install("daily.cvd", dbmaker.make_cvd("daily", 10, daily_files(10)))
    case.install("bytecode.cvd", dbmaker.make_cvd("bytecode", 5, BYTECODE))
    case.ini(mirror.url(), record_text)
    return case


def unchanged_case(args, mirror, name, daily_rule=None, offered=None, expected_code=None, says=None, announced=True, sign=None):
    """daily 11 offered in some broken way: nothing installed may change."""
    serve_full(mirror, 11)
    if offered is not None:
        mirror.files["daily.cvd"] = offered
    if sign is not None:
        mirror.files["daily-11.cvd.sign"] = sign
    if daily_rule:
        mirror.rules["daily.cvd"] = daily_rule
    case = installed_case(args, name, mirror, record(1, 11, 5) if announced else None)
    before = case.snapshot()
    code = case.run()
    expect(case.snapshot() == before, name + ": the installed set changed", case)
    expect(code == expected_code, "%s: exit code %d, expected %d" % (name, code, expected_code), case)
    expect(says in case.log(), "%s: the log does not say %r" % (name, says), case)
    mirror.rules.clear()
    return case


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--test-bin", required=True)
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True)
    args = parser.parse_args()
    mirror = Mirror()
    try:
        # A first install from nothing, the versions from the (faked) DNS
        # record; the mirror offers detached signatures of every container.
        serve_full(mirror)
        for name, version in (("main", 1), ("daily", 10), ("bytecode", 5)):
            mirror.files["%s-%d.cvd.sign" % (name, version)] = dbmaker.sign_detached(mirror.files[name + ".cvd"])
        case = Case(args, "first")
        case.ini(mirror.url(), record(1, 10, 5))
        code = case.run()
        expect(code == 0, "first install: exit code %d" % code, case)
        expect(case.snapshot() == {n: mirror.files[n] for n in ("bytecode.cvd", "daily.cvd", "main.cvd")},
               "first install: the files are not those served", case)
        expect(all(ua and ua.startswith("QuendixUpdate/") for _, _, ua in mirror.requests), "no proper User-Agent")
        expect("daily updated in full: (none) -> 10" in case.log(), "first install: no line for daily", case)
        expect(case.log().count("is good (signed by Quendix_test_datafiles)") == 3, "first install: detached signatures not checked", case)

        # The same run again within the hour: nothing is asked of the mirror.
        mirror.requests.clear()
        code = case.run()
        expect(code == 3 and not mirror.requests, "a second scheduled run within the hour asked the mirror", case)
        expect(case.run("/force") == 0 and mirror.requests, "/force did not check", case)

        # An update by two patches; the DNS record names daily 12.
        mirror.files["daily-11.cdiff"] = dbmaker.make_patch(11, dbmaker.patch_between("daily", daily_files(10), 11, daily_files(11)))
        mirror.files["daily-12.cdiff"] = dbmaker.make_patch(12, dbmaker.patch_between("daily", daily_files(11), 12, daily_files(12)))
        for v in (11, 12):
            mirror.files["daily-%d.cdiff.sign" % v] = dbmaker.sign_detached(mirror.files["daily-%d.cdiff" % v])
        case = installed_case(args, "patch", mirror, record(1, 12, 5))
        code = case.run()
        expect(code == 0, "patch: exit code %d" % code, case)
        expect("daily-12.cdiff.sign is good" in case.log(), "patch: its detached signature was not checked", case)
        names = sorted(case.snapshot())
        expect(names == ["bytecode.cvd", "daily.cld", "main.cvd"], "patch: files %s" % names, case)
        expect(case.image_built() and "Warning" not in case.log(), "patch: no signature image of the new set", case)
        if "daily.cld" in names:
            version, files = dbmaker.read_container(case.snapshot()["daily.cld"])
            expect(version == 12 and all(files.get(n) == d for n, d in daily_files(12)), "patch: daily.cld is not daily 12", case)
        expect("daily updated by 2 patches: 10 -> 12" in case.log(), "patch: no line for daily", case)

        # A patch missing on the mirror: daily in full.
        del mirror.files["daily-12.cdiff"]
        mirror.files["daily.cvd"] = dbmaker.make_cvd("daily", 12, daily_files(12))
        case = installed_case(args, "nopatch", mirror, record(1, 12, 5))
        code = case.run()
        expect(code == 0 and case.snapshot().get("daily.cvd") == mirror.files["daily.cvd"], "missing patch: no full download", case)
        expect("no patch daily-12.cdiff" in case.log(), "missing patch: not said", case)
        # A bad patch is refused; the full download then makes the set current.
        mirror.files["daily-12.cdiff"] = mirror.files["daily-11.cdiff"]
        case = installed_case(args, "badpatch", mirror, record(1, 12, 5))
        code = case.run()
        expect(code == 2 and case.snapshot().get("daily.cvd") == mirror.files["daily.cvd"], "bad patch: exit %d" % code, case)
        # So is a patch whose detached signature is another file's.
        mirror.files["daily-11.cdiff.sign"] = mirror.files["daily-12.cdiff.sign"]
        case = installed_case(args, "badpatchsign", mirror, record(1, 12, 5))
        code = case.run()
        expect(code == 2 and case.snapshot().get("daily.cvd") == mirror.files["daily.cvd"], "patch signed for other bytes: exit %d" % code, case)
        expect("daily-11.cdiff.sign is not good" in case.log(), "patch signed for other bytes: not said", case)
        for name in ("daily-11.cdiff", "daily-12.cdiff", "daily-11.cdiff.sign", "daily-12.cdiff.sign"):
            del mirror.files[name]

        # Every failure leaves the installed set as it was, and says why.
        unchanged_case(args, mirror, "signature", offered=dbmaker.make_cvd("daily", 11, daily_files(11), damage="signature"),
                       expected_code=2, says="digital signature in its header is not valid")
        unchanged_case(args, mirror, "md5", offered=dbmaker.make_cvd("daily", 11, daily_files(11), damage="md5"),
                       expected_code=2, says="MD5 checksum does not match")
        offered = dbmaker.make_cvd("daily", 11, daily_files(11))
        unchanged_case(args, mirror, "detached", offered=offered, sign=dbmaker.sign_detached(offered, trusted=False), expected_code=2,
                       says="daily-11.cvd.sign is not good: line 2: the certificate \"Quendix_test_datafiles\" was not issued by "
                       "a certificate this program trusts")
        unchanged_case(args, mirror, "truncated", daily_rule="truncate", expected_code=1, says="the transfer ended after")
        unchanged_case(args, mirror, "closed", daily_rule="close", expected_code=1, says="closed the connection")
        unchanged_case(args, mirror, "notfound", daily_rule="404", expected_code=1, says="daily.cvd is not on the mirror")
        case = unchanged_case(args, mirror, "toomany", daily_rule="429", expected_code=1, says="asks to wait 7200 seconds")
        mirror.requests.clear()
        expect(case.run("/force") == 3 and not mirror.requests, "429: a forced run did not wait as asked", case)
        unchanged_case(args, mirror, "older", offered=dbmaker.make_cvd("daily", 9, daily_files(9)), expected_code=2,
                       says="older than the installed 10", announced=False)
        unchanged_case(args, mirror, "announced", offered=dbmaker.make_cvd("daily", 10, daily_files(10)), expected_code=2,
                       says="not the 11 announced")

        # A private mirror: the versions from the headers, by range requests;
        # a transfer cut once goes on where it stopped.
        serve_full(mirror, 11)
        mirror.rules["daily.cvd"] = "cut-once"
        mirror.requests.clear()
        case = installed_case(args, "private", mirror)
        code = case.run()
        expect(code == 0 and case.snapshot().get("daily.cvd") == mirror.files["daily.cvd"], "private mirror: exit %d" % code, case)
        expect(("daily.cvd", "bytes=0-511", mirror.requests[0][2]) in mirror.requests, "private mirror: no range request for the header")
        expect(any(n == "daily.cvd" and r and r != "bytes=0-511" for n, r, _ in mirror.requests), "no resumed transfer", case)
        mirror.rules.clear()
        # A private mirror without daily.cld: its patches still come first.
        mirror.files["daily-11.cdiff"] = dbmaker.make_patch(11, dbmaker.patch_between("daily", daily_files(10), 11, daily_files(11)))
        case = installed_case(args, "privatepatch", mirror)
        code = case.run()
        expect(code == 0 and "daily updated by 1 patch: 10 -> 11" in case.log(), "private mirror, patch: exit %d" % code, case)
        del mirror.files["daily-11.cdiff"]

        # A folder on the command line instead of update.ini's mirror.
        folder = os.path.join(args.prefix, "drive_c", "qdxupdate-tests", "source")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        serve_full(mirror, 11)
        for name in ("main.cvd", "daily.cvd", "bytecode.cvd"):
            open(os.path.join(folder, name), "wb").write(mirror.files[name])
        case = Case(args, "folder")
        case.ini("http://127.0.0.1:1/nothing-here")
        code = case.run("/mirror", "C:\\qdxupdate-tests\\source")
        expect(code == 0 and sorted(case.snapshot()) == ["bytecode.cvd", "daily.cvd", "main.cvd"], "folder: exit %d" % code, case)

        # Two runs at once: the second does nothing.
        serve_full(mirror, 11)
        mirror.rules["daily.cvd"] = "slow"
        case = installed_case(args, "twice", mirror, record(1, 11, 5))
        mirror.requests.clear()
        first = case.start()
        for _ in range(300):  # until the first run waits for the mirror
            if any(n == "daily.cvd" for n, _, _ in mirror.requests):
                break
            time.sleep(0.1)
        code = case.run("/force")
        expect(code == 3 and "Another update" in case.log(), "a second run at once: exit %d" % code, case)
        expect("is running (process " in case.log() and ", scheduled, started " in case.log(), "a second run: the holder is not named", case)
        expect(first.wait(timeout=120) == 0, "the first of two runs failed", case)
        expect(not os.path.exists(case.sig("update.lock")), "the run lock stays after the run", case)
        mirror.rules.clear()

        # A lock file left behind is taken over, and the named object older
        # versions locked with, held by any program, stops nothing.
        serve_full(mirror, 11)
        case = installed_case(args, "stalelock", mirror, record(1, 11, 5))
        case.install("update.lock", b"process 4242, scheduled, started long ago")
        holder = helper(args, "hold", "Global\\QuendixDefinitionsUpdate", "30")
        expect(holder.stdout.readline().strip() == b"held", "the helper did not take the old lock's name")
        code = case.run()
        holder.kill()
        holder.wait()
        expect(code == 0 and case.snapshot().get("daily.cvd") == mirror.files["daily.cvd"], "stale lock: exit %d" % code, case)
        expect(not os.path.exists(case.sig("update.lock")), "stale lock: the lock file stays", case)

        # A damaged installed file of the current version is fetched again.
        serve_full(mirror, 11)
        case = installed_case(args, "repair", mirror, record(1, 11, 5))
        damaged = bytearray(case.snapshot()["main.cvd"])
        damaged[-30] ^= 1
        case.install("main.cvd", bytes(damaged))
        code = case.run()
        expect(code == 0 and case.snapshot().get("main.cvd") == mirror.files["main.cvd"], "damaged main: exit %d" % code, case)

        # A container is only the database it was fetched for: the maker's
        # genuinely signed bytecode served as main is refused, the installed
        # set stays byte for byte; on a first installation too.
        serve_full(mirror, 10)
        mirror.files["main.cvd"] = mirror.files["bytecode.cvd"]
        case = installed_case(args, "swapped", mirror)
        before = case.snapshot()
        code = case.run()
        expect(code == 2 and case.snapshot() == before, "swapped: exit %d" % code, case)
        expect("main.cvd was discarded: it is not the main database (its member list is bytecode.info)" in case.log(),
               "swapped: not said", case)
        serve_full(mirror, 10)
        mirror.files["main.cvd"] = dbmaker.make_cvd("daily", 11, daily_files(11))
        case = Case(args, "swappedfirst")
        case.ini(mirror.url(), record(11, 10, 5))
        code = case.run()
        expect(code == 2 and sorted(case.snapshot()) == ["bytecode.cvd", "daily.cvd"], "swapped on a first install: exit %d" % code, case)
        # A set swapped before this was checked: /force puts the real main
        # back, although the swapped file's version is higher.
        serve_full(mirror, 10)
        case = installed_case(args, "swaprepair", mirror)
        case.install("main.cvd", dbmaker.make_cvd("daily", 27, daily_files(27)))
        code = case.run("/force")
        expect(code == 0 and case.snapshot() == {n: mirror.files[n] for n in ("bytecode.cvd", "daily.cvd", "main.cvd")},
               "swapped set, /force: exit %d" % code, case)
        expect("main updated in full: (none) -> 1" in case.log(), "swapped set, /force: not said", case)

        # A .cld from a private mirror: its unsigned header (a date in 2099,
        # a line break) is rebuilt from the signed member list.
        serve_full(mirror, 10)
        forged = b"ClamAV-VDB:01 Jan 2099 00-00 +0000\r\nForged:11:4:216:X:X:mirror:4070908800"
        mirror.files["daily.cld"] = dbmaker.make_cld("daily", 11, daily_files(11), header=forged)
        case = installed_case(args, "cldheader", mirror)
        code = case.run()
        installed = case.snapshot().get("daily.cld", b"")
        expect(code == 0 and installed[:512] == dbmaker.header_line(11).encode().ljust(512, b" ")
               and installed[512:] == mirror.files["daily.cld"][512:], "cld header: exit %d" % code, case)
        # One installed before the header was rebuilt is fetched again.
        case = installed_case(args, "cldforgedinstalled", mirror)
        os.remove(case.sig("daily.cvd"))
        case.install("daily.cld", mirror.files["daily.cld"])
        code = case.run()
        installed = case.snapshot().get("daily.cld", b"")
        expect(code == 0 and installed[:512] == dbmaker.header_line(11).encode().ljust(512, b" "), "installed forged cld: exit %d" % code, case)
        expect("its header is not the one its signed member list gives" in case.log(), "installed forged cld: not said", case)
        # The info program writes printable lines whatever a header holds
        # (a .cld installed before its header was rebuilt).
        case = Case(args, "infolines")
        case.install("daily.cld", mirror.files["daily.cld"])
        shutil.copy(os.path.join(args.bin_dir, "quendix9.exe"), case.dir)
        subprocess.run([args.wine_run, "C:\\qdxupdate-tests\\infolines\\quendix9.exe"], stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=120)
        info = open(os.path.join(case.dir, "quendix3.inf"), "rb").read() if os.path.exists(os.path.join(case.dir, "quendix3.inf")) else b""
        lines = info.split(b"\r\n")
        expect(len([l for l in lines if l]) == 10 and all(all(0x20 <= c < 0x7F or c >= 0x80 for c in l) for l in lines)
               and lines[0].endswith(b"signature databases 01 Jan 2099 00-00 +0000??Forged"), "info program: lines %r" % lines[:3])
        # A private mirror whose daily.cld header answers but whose file is
        # missing: its daily.cvd is fetched instead.
        serve_full(mirror, 11)
        mirror.files["daily.cld"] = dbmaker.make_cld("daily", 11, daily_files(11))
        mirror.rules["daily.cld"] = "head-only"
        case = installed_case(args, "cldmissing", mirror)
        code = case.run()
        expect(code == 0 and case.snapshot().get("daily.cvd") == mirror.files["daily.cvd"], "cld missing: exit %d" % code, case)
        expect("is not on %s after all; trying daily.cvd" % mirror.url() in case.log(), "cld missing: not said", case)
        mirror.rules.clear()
        del mirror.files["daily.cld"]

        # Text from a mirror cannot forge a line of the log: a signer's name
        # with a line break in it.
        offered = dbmaker.make_cvd("daily", 11, daily_files(11))
        forged_name = "evil\r\n2026-12-08 10:00:00 Update ended with exit code 0"
        case = unchanged_case(args, mirror, "forgedname", offered=offered, sign=dbmaker.sign_detached(offered, signer_name=forged_name),
                              expected_code=2, says="was not issued by a certificate this program trusts")
        raw = case.log_bytes()
        expect(b"\r\n2026-12-08 10:00:00 Update ended" not in raw and b"evil??2026-12-08" in raw, "forged name: a line was forged", case)
        expect(raw.count(b"\r") == raw.count(b"\r\n") == raw.count(b"\n"), "forged name: a bare line break in the log", case)

        # A slow mirror holds nothing up: a transfer below the floor rate
        # ends at its deadline, the next mirror brings the set up to date,
        # and the run ends as what is installed: current.
        slow = Mirror()
        try:
            serve_full(mirror, 11)
            serve_full(slow, 11)
            slow.rules["daily.cvd"] = "trickle"
            case = installed_case(args, "slowmirror", slow)
            case.ini(slow.url(), extra="Mirror=%s\r\nFloorRateKB=1\r\n" % mirror.url())
            code = case.run()
            expect(code == 0 and case.snapshot().get("daily.cvd") == mirror.files["daily.cvd"], "slow mirror: exit %d" % code, case)
            expect("the mirror is too slow" in case.log() and "Versions after: main 1, daily 11, bytecode 5" in case.log(),
                   "slow mirror: not said", case)
            # Stop ends a transfer that would otherwise go on (no floor rate here).
            case = installed_case(args, "stop", slow)
            case.ini(slow.url(), extra="FloorRateKB=0\r\n")
            before = case.snapshot()
            slow.requests.clear()
            run = case.start(quiet=False)
            for _ in range(300):
                if any(n == "daily.cvd" for n, _, _ in slow.requests):
                    break
                time.sleep(0.1)
            stopper = helper(args, "stop", "60")
            code = run.wait(timeout=120)
            stopper.wait(timeout=60)
            expect(code == 1 and case.snapshot() == before and "Stopped by the user" in case.log(), "stop: exit %d" % code, case)
        finally:
            slow.stop()

        https_cases(args, mirror)

        # The shipped program trusts the maker's keys only.
        case = installed_case(args, "shipped", mirror)
        before = case.snapshot()
        code = case.run(program="qdxupdate.exe")
        expect(code == 2 and case.snapshot() == before, "the shipped program accepted the test key: exit %d" % code, case)
    finally:
        mirror.stop()
    print("%d passed, %d failed" % (1 if not FAILURES else 0, 1 if FAILURES else 0))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
