#!/usr/bin/python3
"""Installs the kit into a prefix and drives the real Linux desktop clients over the example
boards and a few broken files: shared-mime-info (gio), tumbler over D-Bus, GNOME's thumbnail
factory inside its bubblewrap sandbox, and Recoll. A client the machine cannot run is skipped with
its reason printed; every other client must pass.

    desktop-clients.py --source TOP --build BUILD --work DIR

Exit status: 0 when every client passed, 77 when none failed but one was skipped, 1 otherwise.
The lines printed are also written to DIR/report.txt.
"""

import argparse
import glob
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import time
import urllib.parse
import zlib

MIME_TYPE = "application/x-drevalin-board"
GENERIC_ICON = "x-office-drawing"
BROKEN = {
    "not-json.drevalin": b"this is not JSON at all\n",
    "not-a-board.drevalin": b'{"elements": 3}',
    "cut-short.drevalin": b'{"type":"drevalin","version":1,"elements":[{"id":"a","type":"rect',
}
# Words of each example board's texts and keywords, read off the boards themselves: "Retries"
# follows a line break inside a text, "日本語" is CJK, the keyword: queries hit stencil and layer
# names only.
RECOLL_FINDS = {
    "Gateway": {"architecture.drevalin"},
    "Retries": {"architecture.drevalin"},
    "invoice": {"flowchart.drevalin"},
    "courier": {"flowchart.drevalin"},
    "Sketchy": {"sketch.drevalin"},
    "日本語": {"sketch.drevalin"},
    "keyword:Cluster": {"architecture.drevalin"},
    "keyword:database": {"architecture.drevalin"},
    "keyword:Gateway": set(),
    "kMDItemTextContent": set(),
    "kMDItemKeywords": set(),
    "attributes": set(),
    "imported": set(),
}


class Skip(Exception):
    pass


class Failure(Exception):
    pass


def run(args, env=None, timeout=120, check=True, **kw):
    result = subprocess.run(args, env=env, timeout=timeout, capture_output=True, text=True, **kw)
    if check and result.returncode != 0:
        raise Failure("%s exited with %d: %s" % (" ".join(args), result.returncode,
                                                  (result.stderr or result.stdout).strip()[-800:]))
    return result


def uri_of(path):
    return "file://" + urllib.parse.quote(os.path.abspath(path))


def png_info(path):
    """Width, height and text chunks of a PNG file, or None when it is not one."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    pos, width, height, texts = 8, None, None, {}
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height = struct.unpack(">II", body[:8])
        elif kind == b"tEXt":
            key, _, value = body.partition(b"\0")
            texts[key.decode("latin-1")] = value.decode("latin-1")
        elif kind == b"zTXt":
            key, _, rest = body.partition(b"\0")
            texts[key.decode("latin-1")] = zlib.decompress(rest[1:]).decode("latin-1")
        elif kind == b"iTXt":
            key, _, rest = body.partition(b"\0")
            compressed, rest = rest[0], rest[2:]
            _, _, rest = rest.partition(b"\0")
            _, _, value = rest.partition(b"\0")
            texts[key.decode("latin-1")] = (zlib.decompress(value) if compressed else value).decode("utf-8")
        elif kind == b"IEND":
            break
    return (width, height, texts) if width else None


def cache_entry(cache, folder, uri):
    return os.path.join(cache, "thumbnails", folder, hashlib.md5(uri.encode()).hexdigest() + ".png")


class Setup:
    def __init__(self, args):
        self.source = os.path.abspath(args.source)
        self.build = os.path.abspath(args.build)
        self.work = os.path.abspath(args.work)
        self.prefix = os.path.join(self.work, "prefix")
        self.boards = os.path.join(self.work, "boards")
        self.home = os.path.join(self.work, "home")
        self.sizes = {}
        self.examples = sorted(os.path.basename(p) for p in glob.glob(os.path.join(self.source, "examples", "*.drevalin")))

    def prepare(self):
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.boards)
        os.makedirs(self.home)
        run(["cmake", "--install", self.build, "--prefix", self.prefix])
        for name in self.examples:
            shutil.copy(os.path.join(self.source, "examples", name), self.boards)
        for name, data in BROKEN.items():
            with open(os.path.join(self.boards, name), "wb") as f:
                f.write(data)
        if shutil.which("update-mime-database"):
            run(["update-mime-database", os.path.join(self.prefix, "share", "mime")])

    def env(self, client, share_prefix=None, bin_prefix=None):
        """A fresh user environment that sees the installed kit in XDG_DATA_DIRS and PATH, with a
        thumbnail cache of the client's own."""
        share_prefix = share_prefix or self.prefix
        bin_prefix = bin_prefix or self.prefix
        env = {k: v for k, v in os.environ.items() if not k.startswith(("XDG_", "DBUS_", "RECOLL_"))}
        env.update({
            "HOME": self.home,
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache-" + client),
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_DATA_DIRS": os.path.join(share_prefix, "share") + ":/usr/share",
            "PATH": os.path.join(bin_prefix, "bin") + ":/usr/bin:/bin:/usr/sbin:/sbin",
            "GIO_USE_VFS": "local",
            "LC_ALL": "C.UTF-8",
            # The host draws in bands whatever the machine's load, so that the clients' runs
            # reach the band threads (where a client passes its environment on to the host).
            "DREVALIN_BANDS": os.environ.get("DREVALIN_BANDS", "4"),
        })
        return env

    def board_paths(self, good=True):
        names = self.examples if good else sorted(BROKEN)
        return [os.path.join(self.boards, n) for n in names]

    def host_size(self, board, size):
        """The picture the installed thumbnail host makes at SIZE: what every client's cache must hold."""
        if (board, size) not in self.sizes:
            out = os.path.join(self.work, "expected.png")
            run([os.path.join(self.prefix, "bin", "thumbwright-host"), "-s", str(size), board, out])
            self.sizes[board, size] = png_info(out)[:2]
            os.unlink(out)
        return self.sizes[board, size]


def need(*programs):
    for program in programs:
        if not shutil.which(program, path="/usr/bin:/bin:/usr/sbin:/sbin"):
            raise Skip(program + " is not installed")


def check_installed_tree(s):
    """The installed hosts find their module and bundle beside themselves, also once moved."""
    moved = s.prefix + "-moved"
    os.rename(s.prefix, moved)
    try:
        board = s.board_paths()[0]
        run([os.path.join(moved, "bin", "thumbwright-host"), "-s", "64", board, os.path.join(s.work, "moved.png")])
        out = run([os.path.join(moved, "bin", "indexwright-host"), board]).stdout
        if '"imported":true' not in out:
            raise Failure("the moved indexwright-host did not import %s: %s" % (board, out))
        manifest = open(os.path.join(moved, "lib", "drevalin", "Indexwright.plugin", "manifest.xml")).read()
        if "<contentType>%s</contentType>" % MIME_TYPE not in manifest:
            raise Failure("the installed bundle's manifest does not name " + MIME_TYPE)
    finally:
        os.rename(moved, s.prefix)
    return "hosts run from a moved prefix; the bundle claims " + MIME_TYPE


def check_mime(s):
    need("gio", "update-mime-database")
    env = s.env("gio")
    for board in s.board_paths() + s.board_paths(good=False):
        out = run(["gio", "info", "-a", "standard::content-type,standard::icon", board], env=env).stdout
        if "standard::content-type: " + MIME_TYPE not in out:
            raise Failure("gio info gives no %s for %s:\n%s" % (MIME_TYPE, board, out))
        if GENERIC_ICON not in out:
            raise Failure("gio info names no %s icon for %s:\n%s" % (GENERIC_ICON, board, out))
    return "gio info: %s with icon %s for every *.drevalin" % (MIME_TYPE, GENERIC_ICON)


def check_cache(s, client, cache, folders, whole_seconds):
    """Every board has an entry of the host's own picture size in each (folder, size), naming the
    board's URI and modification time; no broken file has one."""
    for folder, pixels in folders:
        for board in s.board_paths():
            uri = uri_of(board)
            entry = cache_entry(cache, folder, uri)
            info = png_info(entry) if os.path.exists(entry) else None
            if not info:
                raise Failure("%s left no %s cache entry for %s" % (client, folder, board))
            if info[:2] != s.host_size(board, pixels):
                raise Failure("%s: the %s entry for %s is %dx%d, the host draws %dx%d"
                              % ((client, folder, board) + info[:2] + s.host_size(board, pixels)))
            # The newer form of the cache format allows a fraction of a second.
            mtime = os.stat(board).st_mtime
            stamp = info[2].get("Thumb::MTime", "")
            good_stamp = stamp == str(int(mtime)) if whole_seconds else abs(float(stamp or "nan") - mtime) < 1
            if info[2].get("Thumb::URI") != uri or not good_stamp:
                raise Failure("%s: the %s entry for %s carries Thumb::URI %r and Thumb::MTime %r"
                              % (client, folder, board, info[2].get("Thumb::URI"), stamp))
        for board in s.board_paths(good=False):
            if os.path.exists(cache_entry(cache, folder, uri_of(board))):
                raise Failure("%s made a %s cache entry for the broken %s" % (client, folder, board))


TUMBLER_FLAVOURS = {"normal": 128, "large": 256}
STARVED = ("this machine is too busy: at tumbler's priority (nice 19) the thumbnail host runs out of its "
           "time limit on the first example board")


def starved_at_tumblers_priority(s):
    """Tumbler runs thumbnailers at the lowest priority; on a machine whose cores are all taken
    the host then gives up after its time limit (exit status 3), which tells nothing of the kit."""
    out = os.path.join(s.work, "niced.png")
    result = run(["nice", "-n", "19", os.path.join(s.prefix, "bin", "thumbwright-host"), "-s", "256", "--",
                  s.board_paths()[0], out], check=False)
    if os.path.exists(out):
        os.unlink(out)
    return result.returncode == 3


def check_tumbler(s):
    need("dbus-run-session")
    daemons = glob.glob("/usr/lib/*/tumbler-1/tumblerd")
    if not daemons:
        raise Skip("tumblerd is not installed (Debian package tumbler)")
    try:
        import gi  # noqa: F401
    except ImportError:
        raise Skip("python3-gi is not installed")
    if starved_at_tumblers_priority(s):
        raise Skip(STARVED)
    env = s.env("tumbler")
    try:
        result = run(["dbus-run-session", "--", sys.executable, __file__, "tumbler-queue", s.work]
                     + s.board_paths() + ["--broken"] + s.board_paths(good=False), env=env, timeout=600)
    except Failure:
        if starved_at_tumblers_priority(s):
            raise Skip(STARVED)
        load, cores = os.getloadavg()[0], os.cpu_count() or 1
        if load > 2 * cores:
            raise Skip("this machine is too busy (load %.0f on %d cores): tumbler's thumbnailers run at nice 19 "
                       "and some ran out of the host's time limit" % (load, cores))
        raise
    print(result.stdout, end="")
    check_cache(s, "tumbler", env["XDG_CACHE_HOME"], TUMBLER_FLAVOURS.items(), whole_seconds=False)
    return "tumbler: %d boards Ready at normal and large, %d broken files Error, no cache entry for them" % (
        len(s.examples), len(BROKEN))


def tumbler_queue(work, good, broken):
    """Runs inside dbus-run-session: queues every file per flavour and checks the signals."""
    from gi.repository import Gio, GLib

    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    # Tumbler lowers its own priority, so on a busy machine it takes longer to start than D-Bus
    # waits by default.
    bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "StartServiceByName",
                  GLib.Variant("(su)", ("org.freedesktop.thumbnails.Thumbnailer1", 0)), None,
                  Gio.DBusCallFlags.NONE, 300000, None)
    proxy = Gio.DBusProxy.new_sync(bus, Gio.DBusProxyFlags.NONE, None, "org.freedesktop.thumbnails.Thumbnailer1",
                                   "/org/freedesktop/thumbnails/Thumbnailer1",
                                   "org.freedesktop.thumbnails.Thumbnailer1", None)
    problems = []
    for flavour in TUMBLER_FLAVOURS:
        ready, failed, finished, messages = set(), set(), [], []
        loop = GLib.MainLoop()

        def on_signal(_proxy, _sender, name, params):
            values = params.unpack()
            if name == "Ready":
                ready.update(values[1])
            elif name == "Error":
                failed.update(values[1])
                messages.append(values[3])
            elif name == "Finished":
                finished.append(values[0])
                loop.quit()

        handler = proxy.connect("g-signal", on_signal)
        uris = [uri_of(p) for p in good + broken]
        handle = proxy.call_sync("Queue", GLib.Variant("(asasssu)", (uris, [MIME_TYPE] * len(uris), flavour,
                                                                     "foreground", 0)),
                                 Gio.DBusCallFlags.NONE, 300000, None).unpack()[0]
        GLib.timeout_add_seconds(400, loop.quit)
        loop.run()
        proxy.disconnect(handler)
        if handle not in finished:
            problems.append("%s: tumbler never finished the request" % flavour)
        for uri in uris[:len(good)]:
            if uri not in ready:
                problems.append("%s: %s is not Ready (errors: %s)" % (flavour, uri, "; ".join(sorted(set(messages)))))
        for uri in uris[len(good):]:
            if uri not in failed or uri in ready:
                problems.append("%s: the broken %s gave no Error" % (flavour, uri))
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    return 0


GNOME_SIZES = {"LARGE": ("large", 256), "XLARGE": ("x-large", 512)}


def check_gnome(s):
    need("bwrap", "unshare", "mount")
    probe = run(["/usr/bin/python3", "-c", "import gi; gi.require_version('GnomeDesktop', '3.0')"], check=False)
    if probe.returncode != 0:
        raise Skip("GnomeDesktop 3.0 for Python is not installed (gir1.2-gnomedesktop-3.0, python3-gi)")
    probe = run(["unshare", "-m", "--propagation", "private", "true"], check=False)
    if probe.returncode != 0:
        raise Skip("no private mount namespace for /usr/local here: " + probe.stderr.strip())
    probe = run(["bwrap", "--ro-bind", "/", "/", "--unshare-all", "true"], check=False)
    if probe.returncode != 0:
        raise Skip("bubblewrap cannot make a sandbox here: " + probe.stderr.strip())

    # Installed elsewhere than /usr the sandbox cannot see the host: the factory fails, which shows
    # that the thumbnails below were made inside it.
    env = s.env("gnome-outside")
    outside = run(["/usr/bin/python3", __file__, "gnome-factory", "probe", s.board_paths()[0], "--broken"], env=env, check=False)
    if outside.returncode != 2:
        raise Failure("GNOME's factory thumbnailed a board the sandbox cannot reach; is bubblewrap in use?\n"
                      + outside.stdout + outside.stderr)

    env = s.env("gnome", share_prefix="/usr/local", bin_prefix="/usr/local")
    script = 'mount --bind "$1" /usr/local && shift && exec "$@"'
    result = run(["unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh", s.prefix,
                  "/usr/bin/python3", __file__, "gnome-factory", "all"] + s.board_paths()
                 + ["--broken"] + s.board_paths(good=False), env=env, timeout=600)
    print(result.stdout, end="")
    cache = env["XDG_CACHE_HOME"]
    check_cache(s, "GNOME's factory", cache, GNOME_SIZES.values(), whole_seconds=True)
    for board in s.board_paths(good=False):
        if not os.path.exists(cache_entry(cache, "fail/gnome-thumbnail-factory", uri_of(board))):
            raise Failure("the broken %s is not under fail/" % board)
    return "GNOME factory (bubblewrap, kit under /usr/local): %d boards at LARGE and XLARGE, %d broken under fail/" % (
        len(s.examples), len(BROKEN))


def gnome_factory(mode, good, broken):
    """Thumbnails each file as a GNOME file browser does: generate, then save or record a failure."""
    import gi
    gi.require_version("GnomeDesktop", "3.0")
    from gi.repository import GLib, GnomeDesktop

    problems = []
    for size in (GNOME_SIZES if mode == "all" else ["LARGE"]):
        factory = GnomeDesktop.DesktopThumbnailFactory.new(getattr(GnomeDesktop.DesktopThumbnailSize, size))
        for path in good + broken:
            uri, mtime = uri_of(path), int(os.stat(path).st_mtime)
            if not factory.can_thumbnail(uri, MIME_TYPE, mtime):
                # A failure recorded at one size holds for all of them.
                if path in broken and factory.has_valid_failed_thumbnail(uri, mtime):
                    continue
                if mode == "probe":
                    return 2
                problems.append("%s: the factory cannot thumbnail %s" % (size, uri))
                continue
            try:
                pixbuf = factory.generate_thumbnail(uri, MIME_TYPE, None)
            except GLib.Error as error:
                if mode == "probe":
                    return 2
                if path in good:
                    problems.append("%s: %s failed: %s" % (size, uri, error.message))
                factory.create_failed_thumbnail(uri, mtime, None)
                continue
            if mode == "probe":
                return 0
            if path in broken:
                problems.append("%s: the broken %s was thumbnailed" % (size, uri))
                continue
            factory.save_thumbnail(pixbuf, uri, mtime, None)
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    return 0


def check_recoll(s):
    need("recollindex", "recollq")
    conf = os.path.join(s.work, "recoll")
    os.makedirs(conf)
    installed = os.path.join(s.prefix, "share", "drevalin", "recoll")
    for name in ("mimemap", "mimeconf"):
        shutil.copy(os.path.join(installed, name), conf)
    log = os.path.join(conf, "index.log")
    with open(os.path.join(conf, "recoll.conf"), "w") as f:
        # The indexer's own low priority would only make the run slow on a busy machine.
        f.write("topdirs = %s\nloglevel = 3\nlogfilename = %s\nidxniceprio = 0\n" % (s.boards, log))
    env = s.env("recoll")
    diags = os.path.join(conf, "diagnostics.txt")
    run(["recollindex", "-c", conf, "-z", "--diagsfile", diags], env=env, timeout=120)
    problems = []
    for query, expected in RECOLL_FINDS.items():
        out = run(["recollq", "-c", conf, "-b", query], env=env).stdout
        found = {os.path.basename(urllib.parse.unquote(line.strip()[len("file://"):]))
                 for line in out.splitlines() if line.startswith("file://")}
        if found != expected:
            problems.append("recollq %s finds %s, not %s" % (query, sorted(found) or "nothing", sorted(expected) or "nothing"))
    with open(diags) as f:
        diagnostics = f.read()
    for board in s.board_paths(good=False):
        if board not in diagnostics:
            problems.append("the broken %s is not listed as not indexed" % board)
    for board in s.board_paths():
        if board in diagnostics:
            problems.append("the board %s is listed as not indexed" % board)
    if problems:
        raise Failure("\n".join(problems) + "\nnot indexed:\n" + diagnostics)
    return "Recoll: %d queries answered as expected, %d broken files listed as not indexed" % (
        len(RECOLL_FINDS), len(BROKEN))


def install_packages(s):
    result = run([os.path.join(s.source, "scripts", "install-deps.sh")], check=False, timeout=900)
    if result.returncode != 0:
        print("desktop clients: could not install the Debian packages (%s); clients that miss one are skipped"
              % result.stderr.strip()[-300:])


def main():
    if len(sys.argv) > 1 and sys.argv[1] in ("tumbler-queue", "gnome-factory"):
        rest = sys.argv[3:]
        cut = rest.index("--broken")
        good, broken = rest[:cut], rest[cut + 1:]
        if sys.argv[1] == "tumbler-queue":
            return tumbler_queue(sys.argv[2], good, broken)
        return gnome_factory(sys.argv[2], good, broken)

    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    s = Setup(parser.parse_args())
    install_packages(s)
    s.prepare()

    lines, failed, skipped = [], False, False
    for name, check in (("installed kit", check_installed_tree), ("shared-mime-info", check_mime),
                        ("tumbler", check_tumbler), ("GNOME thumbnail factory", check_gnome),
                        ("Recoll", check_recoll)):
        started = time.monotonic()
        try:
            outcome = check(s)
            line = "PASS %s (%.1f s): %s" % (name, time.monotonic() - started, outcome)
        except Skip as skip:
            line, skipped = "SKIP %s: %s" % (name, skip), True
        except (Failure, subprocess.TimeoutExpired, OSError) as failure:
            line, failed = "FAIL %s: %s" % (name, failure), True
        print(line, flush=True)
        lines.append(line)
    with open(os.path.join(s.work, "report.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    return 1 if failed else 77 if skipped else 0


if __name__ == "__main__":
    sys.exit(main())
