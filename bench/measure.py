#!/usr/bin/env python3
"""Times the launcher side by side with its everyday counterparts and prints one table.

bench/run builds the release binaries and then calls this script; it can be called again by
hand on an existing build:

    python3 bench/measure.py BUILD_DIR [--runs N] [--files N] [--extract-mib N] [--dirs N]
                             [--only 2,5] [--samples]

Every figure is measured in this run: each row times our command (A) and its reference (B)
alternately, A B A B ..., after one untimed warm-up of each, and reports both medians and
their ratio. Rows with warm caches first launch ours a few more times, untimed, so that it
fills its caches (in a directory of the run, as XDG_CACHE_HOME), and check that both sides
print the same. Fixtures live in one temporary directory that is removed at the end. Exits 1
when a fixture or a result is wrong; a missed goal is reported in the table, not as a failure.
"""

import argparse
import glob
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MAGIC = "1739021872"
MIB = 1024 * 1024
# Entries of the long class path of row 2b: about 107 KiB, below the 128 KiB that Linux allows
# one argument (the whole command line that goes to the shell is one).
CLASSPATH_ENTRIES = 2800
# Untimed launches before a row with warm caches is timed: the first extracts the application
# into the cache and writes its class-data archive, the next ones start from both (a JVM that
# writes its archive at exit uses it from the second launch on).
WARM_RUNS = 3
ANT_LIB = "/usr/share/ant/lib"
# Row 8's application: this many jars of this many MiB of random bytes, stored uncompressed.
BIG_APP_JARS = 10
BIG_APP_JAR_MIB = 5

BIG_APP_MAIN = """public class Main {
    public static void main(String[] args) {
        System.out.println("started with " + args.length + " arguments");
    }
}
"""

# javac as an application: compiles its arguments in this JVM and exits with javac's status.
JAVAC_MAIN = """public class Main {
    public static void main(String[] args) {
        int status = javax.tools.ToolProvider.getSystemJavaCompiler().run(null, null, null, args);
        System.out.println("javac exited with " + status);
        System.exit(status);
    }
}
"""

JAVAC_INPUT = """import java.util.ArrayList;
import java.util.List;

public class Greeting {
    private final List<String> names = new ArrayList<>();

    public Greeting add(String name) {
        names.add(name);
        return this;
    }

    @Override
    public String toString() {
        return "Hello, " + String.join(" and ", names) + "!";
    }
}
"""

# The fake JVM's java: answers the verify protocol with the magic line and one value per
# property asked for, and does nothing else; started as the application it prints the magic
# line alone (no properties follow the class name).
FAKE_JAVA = """#!/bin/sh
while [ $# -gt 0 ]; do
    case $1 in
        -classpath|-cp) [ $# -ge 2 ] && shift; shift ;;
        -*) shift ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] && shift
echo 1739021872
for name in "$@"; do
    case $name in
        java.specification.version) echo 17 ;;
        java.vm.specification.name) echo 'Java Virtual Machine Specification' ;;
        *) echo unknown ;;
    esac
done
"""


class BenchError(Exception):
    pass


class Step:
    """One command of a timed side: its argument vector, directory and environment."""

    def __init__(self, argv, cwd, env):
        self.argv = argv
        self.cwd = cwd
        self.env = env


class Runner:
    """Starts commands with posix_spawn and reaps them with wait4, so that the time measured
    is the command's own plus a few microseconds."""

    def __init__(self, work):
        self.null = os.open(os.devnull, os.O_RDWR)
        self.errors = os.path.join(work, "stderr.txt")

    def run(self, step, stdout_path=None):
        """Runs one step; returns the nanoseconds it took. Raises BenchError when the command
        fails."""
        os.chdir(step.cwd)
        err = os.open(self.errors, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        out = self.null
        if stdout_path is not None:
            out = os.open(stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        actions = [
            (os.POSIX_SPAWN_DUP2, self.null, 0),
            (os.POSIX_SPAWN_DUP2, out, 1),
            (os.POSIX_SPAWN_DUP2, err, 2),
        ]
        try:
            start = time.perf_counter_ns()
            pid = os.posix_spawn(step.argv[0], step.argv, step.env, file_actions=actions)
            _, status = os.waitpid(pid, 0)
            elapsed = time.perf_counter_ns() - start
        finally:
            os.close(err)
            if out != self.null:
                os.close(out)
        code = os.waitstatus_to_exitcode(status)
        if code != 0:
            with open(self.errors, errors="replace") as stream:
                detail = stream.read()[-2000:]
            raise BenchError("%s exited with %d\n%s" % (" ".join(step.argv), code, detail))
        return elapsed

    def run_side(self, steps, before):
        if before is not None:
            before()
        return sum(self.run(step) for step in steps)

    def compare(self, ours, reference, runs, before=None, warm_up=True):
        """Times the two sides alternately, after one untimed run of each unless warm_up is
        false (the caller ran both already); returns the per-run lists of both."""
        if warm_up:
            self.run_side(ours, before)
            self.run_side(reference, before)
        result = {"a": [], "b": []}
        for _ in range(runs):
            result["a"].append(self.run_side(ours, before))
            result["b"].append(self.run_side(reference, before))
        return result

    def output_of(self, step, work):
        path = os.path.join(work, "stdout.txt")
        self.run(step, path)
        with open(path, errors="replace") as stream:
            return stream.read()


class Table:
    def __init__(self, show_samples=False):
        self.rows = []
        self.show_samples = show_samples

    def add(self, number, what, ours, reference, ratio, goal, verdict):
        self.rows.append((number, what, ours, reference, ratio, goal, verdict))

    def add_times(self, number, what, result, reference_name, goal=None):
        ours = statistics.median(result["a"]) / 1e6
        ref = statistics.median(result["b"]) / 1e6
        ratio = ours / ref
        if goal is not None:
            goal_text = "<= %.2fx" % goal
            verdict = "met" if ratio <= goal else "MISSED"
        else:
            goal_text = "-"
            verdict = "-"
        self.add(number, what, format_ms(ours), "%s %s" % (format_ms(ref), reference_name),
                 "%.2fx" % ratio, goal_text, verdict)
        if self.show_samples:
            for side in ("a", "b"):
                print("  %s %s: %s" % (number, "ours" if side == "a" else "reference",
                                       " ".join("%.1f" % (t / 1e6) for t in sorted(result[side]))))

    def print(self):
        header = ("#", "measurement", "ours (median)", "reference (median)", "ratio", "goal",
                  "")
        rows = [header] + self.rows
        widths = [max(len(row[i]) for row in rows) for i in range(len(header))]
        for index, row in enumerate(rows):
            print("  ".join(cell.ljust(widths[i]) for i, cell in enumerate(row)).rstrip())
            if index == 0:
                print("  ".join("-" * width for width in widths))


def format_ms(ms):
    return "%.1f ms" % ms if ms >= 10 else "%.2f ms" % ms


def write_file(path, text, mode=0o644):
    with open(path, "w") as stream:
        stream.write(text)
    os.chmod(path, mode)


def machine_line():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as stream:
            for line in stream:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    load = " ".join("%.2f" % value for value in os.getloadavg())
    # nproc's figure: the processors this process may run on.
    return "machine: %s, nproc %d, load average %s, %s" % (
        model, len(os.sched_getaffinity(0)), load, os.uname().release)


def java_home():
    """The home of the java on PATH, or None when there is none."""
    java = shutil.which("java")
    if java is None:
        return None
    return os.path.dirname(os.path.dirname(os.path.realpath(java)))


def java_major(home):
    """The major version that the release file of a Java home names, 0 when it names none."""
    try:
        with open(os.path.join(home, "release")) as stream:
            found = re.search(r'^JAVA_VERSION="(?:1\.)?(\d+)', stream.read(), re.M)
    except OSError:
        return 0
    return int(found.group(1)) if found else 0


def jdk_at_least(major):
    """The newest JDK (a home with javac) in /usr/lib/jvm of at least that major version, or
    None."""
    homes = [home for home in glob.glob("/usr/lib/jvm/*")
             if java_major(home) >= major and os.access(os.path.join(home, "bin/javac"), os.X_OK)]
    return max(homes, key=java_major, default=None)


def write_stored_jar(path, entries):
    """A jar of the given name -> bytes entries, stored uncompressed."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as archive:
        for name, data in entries.items():
            archive.writestr(name, data)


def fake_jvm_file(home, target):
    """The demo's jvm file with its hints replaced by the fake home and without the disk
    walk, so that a fixture mistake fails fast instead of walking the disk."""
    with open(os.path.join(SOURCE_DIR, "examples/hello/hello.jvm")) as stream:
        text = stream.read()
    text, hints = re.subn(r"PATH_HINT:\n.*?\n/:\n", "PATH_HINT:\n%s\n/:\n" % home, text,
                          flags=re.S)
    text = re.sub(r"SEARCH_ALL: *1", "SEARCH_ALL: 0", text)
    if hints != 1:
        raise BenchError("examples/hello/hello.jvm has no PATH_HINT block to replace")
    write_file(target, text)


def pack(build, output, jvm_file, app_jar, verify_jar):
    hello = os.path.join(SOURCE_DIR, "examples/hello")
    command = [os.path.join(build, "qvpack"), "-o", output,
               "--stub", os.path.join(build, "qvlauncher"),
               "--instructions", os.path.join(hello, "hello.instructions"),
               "--jvm", jvm_file,
               "--launch-script", os.path.join(hello, "hello.launch"),
               "--verify", verify_jar, "--app", app_jar]
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def peak_rss(build, steps, runs):
    """The peak resident memory in KiB of each of runs runs of steps (one figure per run,
    the largest of its steps), measured through the small peak_rss driver."""
    peaks = []
    for _ in range(runs):
        peak = 0
        for step in steps:
            result = subprocess.run([os.path.join(build, "peak_rss")] + step.argv, cwd=step.cwd,
                                    env=step.env, check=True, stdout=subprocess.PIPE, text=True)
            peak = max(peak, int(result.stdout))
        peaks.append(peak)
    return peaks


def drop_from_page_cache(path):
    """Writes the file out and asks the kernel to forget its cached pages."""
    fd = os.open(path, os.O_RDONLY)
    try:
        os.fsync(fd)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    finally:
        os.close(fd)


def median_kib(values):
    return "%.1f MiB" % (statistics.median(values) / 1024.0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--files", type=int, default=200000)
    parser.add_argument("--extract-mib", type=int, default=256)
    parser.add_argument("--dirs", type=int, default=300000,
                        help="directories of the walk of row 10c")
    parser.add_argument("--only", type=lambda text: text.split(","),
                        help="the rows to run, for instance 2,5 or 7 for 7a and 7b "
                             "(default: all)")
    parser.add_argument("--samples", action="store_true",
                        help="also print every timed run of each row, in milliseconds")
    args = parser.parse_args()
    if args.runs < 1:
        parser.error("--runs must be at least 1")
    build = os.path.abspath(args.build_dir)
    started = time.monotonic()

    work = tempfile.mkdtemp(prefix="qvbench-")
    try:
        run_all(build, work, args)
    except (BenchError, subprocess.CalledProcessError, OSError) as error:
        print("bench: %s" % error, file=sys.stderr)
        return 1
    finally:
        os.chdir(SOURCE_DIR)
        shutil.rmtree(work, ignore_errors=True)
    print("whole run: %.0f s" % (time.monotonic() - started))
    return 0


class Bench:
    """The fixtures and the rows of one run. The fake JVM and its launcher are made when the
    first row that needs them runs."""

    def __init__(self, build, work, args):
        self.build = build
        self.work = work
        self.args = args
        self.runner = Runner(work)
        self.table = Table(args.samples)
        temp = os.path.join(work, "tmp")
        os.mkdir(temp)
        # Temporary files of the runs (and the jvm files that a search hands on) land in the
        # fixture directory; the verify cache, where the launcher has one, stays out of the
        # user's home and off, so that every launch verifies as the design describes.
        self.env = dict(os.environ, TMPDIR=temp, XDG_CACHE_HOME=os.path.join(work, "cache"),
                        QV_VERIFY_CACHE="0")
        self.verify_jar = os.path.join(build, "verify.jar")
        self.hello_jar = os.path.join(build, "examples/hello/hello.jar")
        if not os.path.exists(self.verify_jar) or not os.path.exists(self.hello_jar):
            raise BenchError("the release build has no verify.jar or hello.jar (a JDK is needed)")
        self.fake = None
        self.ant = None
        self.javac = None

    def step(self, argv, cwd=None, env=None):
        return Step(argv, cwd or self.work, env or self.env)

    def skip(self, number, what, reason):
        print("bench: row %s needs %s; skipped" % (number, reason))
        self.table.add(number, what, "skipped", "-", "-", "-", "-")

    def jdk(self):
        """The home of the java on PATH, which the application rows run."""
        home = java_home()
        if home is None:
            raise BenchError("the application rows need a java on PATH")
        return home

    def launch_env(self, home, **extra):
        """The environment of a launch with every cache on, in the bench's own XDG_CACHE_HOME,
        and JAVA_HOME at home: the first place where a --main-jar launcher looks for java."""
        env = dict(self.env, JAVA_HOME=home, **extra)
        del env["QV_VERIFY_CACHE"]
        return env

    def pack_main_jar(self, name, main_jar, main_class, libs=(), java_options=()):
        """A launcher made by qvpack --main-jar; returns its path."""
        launcher = os.path.join(self.work, name + ".bin")
        command = [os.path.join(self.build, "qvpack"), "-o", launcher, "--main-jar", main_jar,
                   "--main-class", main_class]
        for lib in libs:
            command += ["--lib", lib]
        for option in java_options:
            command += ["--java-option", option]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        return launcher

    def compile_main(self, name, source, home):
        """The class Main of source, compiled by home's javac, in the jar NAME.jar."""
        directory = os.path.join(self.work, name)
        os.mkdir(directory)
        java_file = os.path.join(directory, "Main.java")
        write_file(java_file, source)
        subprocess.run([os.path.join(home, "bin/javac"), "--release", "8", "-nowarn", "-d",
                        directory, java_file], check=True)
        jar = directory + ".jar"
        with open(os.path.join(directory, "Main.class"), "rb") as stream:
            write_stored_jar(jar, {"Main.class": stream.read()})
        return jar

    def time_warm(self, number, what, ours, reference, reference_name, goal):
        """Times a launcher with warm caches against its reference. Untimed launches fill the
        caches first; one logged launch shows that the launcher runs the JVM of JAVA_HOME, as
        the reference does; both sides must print the same."""
        for _ in range(WARM_RUNS):
            self.runner.run(ours)
        home = ours.env["JAVA_HOME"]
        self.runner.run(Step(ours.argv, ours.cwd, dict(ours.env, QV_LOG="-")))
        with open(self.runner.errors, errors="replace") as stream:
            log = stream.read()
        if "Matching JVM home is %s\n" % home not in log:
            raise BenchError("row %s: the launcher did not run the JVM in %s:\n%s"
                             % (number, home, log[-2000:]))
        printed = self.runner.output_of(ours, self.work)
        expected = self.runner.output_of(reference, self.work)
        if printed != expected or not printed.strip():
            raise BenchError("row %s: the launcher printed %r, the reference %r"
                             % (number, printed, expected))
        result = self.runner.compare([ours], [reference], self.args.runs, warm_up=False)
        self.table.add_times(number, what, result, reference_name, goal=goal)

    def fake_launcher(self):
        """Makes, once, the fake JVM home, a launcher packed like the demo whose jvm file
        points at it, and the floor: the fake java run directly for the verify and for the
        application. Returns (launcher, fake home, floor steps)."""
        if self.fake is None:
            home = os.path.join(self.work, "fakejvm")
            os.makedirs(os.path.join(home, "bin"))
            java = os.path.join(home, "bin/java")
            write_file(java, FAKE_JAVA, 0o755)
            jvm_file = os.path.join(self.work, "fake.jvm")
            fake_jvm_file(home, jvm_file)
            launcher = os.path.join(self.work, "fake.bin")
            pack(self.build, launcher, jvm_file, self.hello_jar, self.verify_jar)
            floor = [self.step(["/bin/sh", java, "-classpath", self.verify_jar, "Verify",
                                "java.vm.specification.name", "java.specification.version"]),
                     self.step(["/bin/sh", java, "-classpath", self.hello_jar, "Hello"])]
            self.fake = (launcher, home, floor)
        return self.fake

    def real_jvm(self):
        """1. The demo launcher on this machine's JVM against that JVM run directly."""
        home = java_home()
        hello_bin = os.path.join(self.build, "examples/hello/hello.bin")
        if home is None or not os.path.exists(hello_bin):
            self.table.add("1", "demo launcher, real JVM", "skipped: no JVM or no demo", "-",
                           "-", "-", "-")
            return
        real_env = dict(self.env, JAVA_HOME=home)
        ours = [self.step([hello_bin], env=real_env)]
        reference = [self.step([os.path.join(home, "bin/java"), "-cp", self.hello_jar, "Hello"],
                               env=real_env)]
        out = self.runner.output_of(ours[0], self.work)
        if "Hello from a qvlauncher launcher!" not in out:
            raise BenchError("the demo launcher did not run Hello:\n" + out)
        result = self.runner.compare(ours, reference, self.args.runs)
        self.table.add_times("1", "demo launcher, real JVM (verify + run)", result,
                             "java -cp hello.jar Hello", goal=1.9)
        cached_env = dict(real_env)
        del cached_env["QV_VERIFY_CACHE"]
        ours = [self.step([hello_bin], env=cached_env)]
        result = self.runner.compare(ours, reference, self.args.runs)
        self.table.add_times("1b", "the same, verify cache warm", result,
                             "java -cp hello.jar Hello", goal=1.0)

    def hello_main_jar(self):
        """1c. The demo's jar packed by qvpack --main-jar, every cache warm, against the same
        java run directly."""
        home = self.jdk()
        launcher = self.pack_main_jar("hello-main-jar", self.hello_jar, "Hello")
        env = self.launch_env(home)
        reference = self.step([os.path.join(home, "bin/java"), "-cp", self.hello_jar, "Hello"],
                              env=env)
        self.time_warm("1c", "hello.jar via --main-jar, caches warm", self.step([launcher],
                       env=env), reference, "java -cp hello.jar Hello", 1.0)

    def fake_jvm(self):
        """2. The same kind of launcher over a fake JVM whose java is a tiny script: the
        launcher's own cost."""
        launcher, _, floor = self.fake_launcher()
        ours = [self.step([launcher])]
        out = self.runner.output_of(ours[0], self.work)
        if MAGIC not in out.split("\n"):
            raise BenchError("the launcher did not start the fake JVM's application:\n" + out)
        result = self.runner.compare(ours, floor, self.args.runs)
        self.table.add_times("2", "launcher alone, fake JVM (verify + run)", result,
                             "2 x sh java-script", goal=1.15)

        # The same launcher against a reference that also starts one native program: what is
        # left over is the launcher's own work, not the price of being an executable.
        noop = os.path.join(self.build, "noop")
        if not os.path.exists(noop):
            raise BenchError("no %s: bench/run builds it" % noop)
        linkage_path = os.path.join(self.build, "noop.linkage")
        linkage = "static"
        if os.path.exists(linkage_path):
            with open(linkage_path) as linkage_file:
                linkage = linkage_file.read().strip() or "static"
        result = self.runner.compare(ours, floor + [self.step([noop])], self.args.runs)
        self.table.add_times("2r", "the same", result,
                             "2 x sh java-script + %s no-op" % linkage, goal=1.15)

        # The same with a long class path from a runtime file beside the launcher: the launcher
        # puts it before the verify class and before the application, and so does the floor.
        entries = ["/opt/application/lib/library-%05d.jar" % i for i in range(CLASSPATH_ENTRIES)]
        long_launcher = os.path.join(self.work, "longcp.bin")
        shutil.copy(launcher, long_launcher)
        write_file(os.path.join(self.work, "longcp.cp"), "\n".join(entries) + "\n", 0o644)
        long_floor = []
        for step in floor:
            argv = list(step.argv)
            argv[3] = ":".join(entries + [argv[3]])
            long_floor.append(self.step(argv))
        classpath = long_floor[1].argv[3]
        ours = [self.step([long_launcher])]
        result = self.runner.compare(ours, long_floor, self.args.runs)
        self.table.add_times("2b", "the same, %d KiB class path" % (len(classpath) // 1024),
                             result, "2 x sh java-script")

    def query(self):
        """3. Query mode: the search for one JVM that another program asks for."""
        launcher, home, floor = self.fake_launcher()
        query = os.path.join(self.work, "search.tag")
        write_file(query, "ACTION: SEARCH\n")
        ours = [self.step([launcher, "-qv:in", query])]
        out = self.runner.output_of(ours[0], self.work)
        if not out.startswith("1\n%s\n" % home):
            raise BenchError("-qv:in SEARCH did not find the fake JVM:\n" + out)
        result = self.runner.compare(ours, floor, self.args.runs)
        self.table.add_times("3", "-qv:in ACTION SEARCH, fake JVM", result,
                             "2 x sh java-script")

    def walk(self):
        """4. The disk walk of the exhaustive search over a generated tree."""
        tree = os.path.join(self.work, "tree")
        os.mkdir(tree)
        walker = os.path.join(self.build, "search_walk")
        subprocess.run([walker, "generate", tree, str(self.args.files)], check=True,
                       stdout=subprocess.DEVNULL)
        ours = [self.step([walker, "walk", tree])]
        find = [self.step([shutil.which("find") or "/usr/bin/find", tree, "-name", "java",
                           "-type", "f"])]
        walked = sorted(self.runner.output_of(ours[0], self.work).split())
        found = sorted(self.runner.output_of(find[0], self.work).split())
        if walked != found or not walked:
            raise BenchError("the walk found %d files, find %d" % (len(walked), len(found)))
        result = self.runner.compare(ours, find, self.args.runs)
        self.table.add_times("4", "walk of %d files for bin/java" % self.args.files, result,
                             "find -name java -type f", goal=1.0)
        shutil.rmtree(tree)

    def extract(self):
        """5. Extraction of a large embedded archive against cp of the same bytes."""
        archive = os.path.join(self.work, "big.jar")
        with open(archive, "wb") as stream:
            for _ in range(self.args.extract_mib):
                stream.write(os.urandom(MIB))
        big = os.path.join(self.work, "big.bin")
        subprocess.run([os.path.join(self.build, "qvpack"), "-o", big, "--stub",
                        os.path.join(self.build, "qvlauncher"), "--app", archive], check=True,
                       stdout=subprocess.DEVNULL)
        # How a file was written decides how its cached pages are laid out (large folios for
        # large writes), and that changes how fast the kernel copies it. Both sources leave
        # the cache here, so that the warm-up runs bring them back the same way: by reading.
        for path in (archive, big):
            drop_from_page_cache(path)
        out_dir = os.path.join(self.work, "out")

        def empty_out_dir():
            shutil.rmtree(out_dir, ignore_errors=True)
            os.mkdir(out_dir)

        ours = [self.step([big, "-qv:extract"], cwd=out_dir)]
        copy = [self.step([shutil.which("cp") or "/bin/cp", archive,
                           os.path.join(out_dir, "big.jar")], cwd=out_dir)]
        empty_out_dir()
        self.runner.run(ours[0])
        if subprocess.run(["cmp", "-s", archive, os.path.join(out_dir, "big.jar")]).returncode:
            raise BenchError("the extracted archive differs from the packed one")
        result = self.runner.compare(ours, copy, self.args.runs, before=empty_out_dir)
        self.table.add_times("5", "-qv:extract of %d MiB" % self.args.extract_mib, result, "cp",
                             goal=1.2)
        shutil.rmtree(out_dir)
        os.remove(big)
        os.remove(archive)

    def size_and_memory(self):
        """6. The stripped stub's size, and the launcher's peak memory during the launch of
        2."""
        stripped = os.path.join(self.work, "qvlauncher.stripped")
        subprocess.run(["strip", "-o", stripped, os.path.join(self.build, "qvlauncher")],
                       check=True)
        runtime_stripped = os.path.join(self.work, "cxx_runtime.stripped")
        subprocess.run(["strip", "-o", runtime_stripped,
                        os.path.join(self.build, "cxx_runtime")], check=True)
        size = os.path.getsize(stripped)
        runtime_size = os.path.getsize(runtime_stripped)
        self.table.add("6a", "stripped qvlauncher stub", "%.0f KiB" % (size / 1024.0),
                       "%.0f KiB C++ runtime alone" % (runtime_size / 1024.0),
                       "%.2fx" % (size / runtime_size), "< 1 MiB",
                       "met" if size < MIB else "MISSED")
        launcher, _, floor = self.fake_launcher()
        peaks = peak_rss(self.build, [self.step([launcher])], self.args.runs)
        reference_peaks = peak_rss(self.build, floor[:1], self.args.runs)
        peak = statistics.median(peaks)
        self.table.add("6b", "peak RSS during the launch of 2", median_kib(peaks),
                       "%s sh java-script" % median_kib(reference_peaks),
                       "%.2fx" % (peak / statistics.median(reference_peaks)), "< 8 MiB",
                       "met" if peak < 8 * 1024 else "MISSED")

    def ant_jars(self):
        """The jars of Debian's ant package, their links resolved: (ant.jar, ant-launcher.jar,
        the others of its lib directory), or False when it is not installed."""
        if self.ant is None:
            self.ant = False
            if os.path.exists(os.path.join(ANT_LIB, "ant.jar")):
                jars = {name: os.path.realpath(os.path.join(ANT_LIB, name))
                        for name in sorted(os.listdir(ANT_LIB)) if name.endswith(".jar")}
                jars.pop("ant-bootstrap.jar", None)
                self.ant = (jars.pop("ant.jar"), jars.pop("ant-launcher.jar"),
                            list(jars.values()))
            else:
                self.skip("7", "ant -version", "Debian's ant package (apt-get install ant)")
        return self.ant

    def ant_direct(self):
        """7a. Apache Ant's ant.jar as the main jar, ant -version with caches warm, with and
        without class-data archives, against the same jars run by java."""
        if not self.ant_jars():
            return
        ant_jar, launcher_jar, others = self.ant_jars()
        # org.apache.tools.ant.Main implements an interface of ant-launcher.jar, so a direct
        # start needs that jar too.
        libs = [launcher_jar] + others
        home = self.jdk()
        launcher = self.pack_main_jar("ant-main", ant_jar, "org.apache.tools.ant.Main", libs)
        reference = self.step([os.path.join(home, "bin/java"), "-cp", ":".join([ant_jar] + libs),
                               "org.apache.tools.ant.Main", "-version"], env=self.launch_env(home))
        name = "java -cp <%d ant jars> ant.Main -version" % (len(libs) + 1)
        for number, what, env, goal in (
                ("7a", "ant -version, ant.jar main, caches warm", self.launch_env(home), 0.9),
                ("7a-", "the same, QV_CLASS_CACHE=0", self.launch_env(home, QV_CLASS_CACHE="0"),
                 1.0)):
            self.time_warm(number, what, self.step([launcher, "-version"], env=env), reference,
                           name, goal)

    def ant_launcher(self):
        """7b. Ant's own launcher class as Debian's ant script starts it, ant -version with
        caches warm, against that script."""
        if not self.ant_jars():
            return
        ant_jar, launcher_jar, others = self.ant_jars()
        # The properties that /usr/bin/ant passes; the Launcher class then loads the jars of
        # ant.library.dir itself.
        options = ["-Dant.home=/usr/share/ant", "-Dant.library.dir=" + ANT_LIB,
                   "-Djava.security.manager=allow"]
        launcher = self.pack_main_jar("ant-launcher", launcher_jar,
                                      "org.apache.tools.ant.launch.Launcher", [ant_jar] + others,
                                      options)
        env = self.launch_env(self.jdk())
        self.time_warm("7b", "ant -version, ant-launcher.jar main, caches warm",
                       self.step([launcher, "-version"], env=env),
                       self.step(["/usr/bin/ant", "-version"], env=env), "Debian's ant -version",
                       0.7)

    def big_application(self):
        """8. An application of 50 MiB of jars with caches warm, against java run on the same
        jars: launching must not cost in proportion to the application's size."""
        home = self.jdk()
        main_jar = self.compile_main("big-main", BIG_APP_MAIN, home)
        data = []
        for index in range(BIG_APP_JARS):
            path = os.path.join(self.work, "data-%02d.jar" % index)
            write_stored_jar(path, {"data/blob.bin": os.urandom(BIG_APP_JAR_MIB * MIB)})
            data.append(path)
        launcher = self.pack_main_jar("big", main_jar, "Main", data)
        env = self.launch_env(home)
        reference = self.step([os.path.join(home, "bin/java"), "-cp", ":".join([main_jar] + data),
                               "Main"], env=env)
        self.time_warm("8", "%d MiB of jars via --main-jar, caches warm"
                       % (BIG_APP_JARS * BIG_APP_JAR_MIB), self.step([launcher], env=env),
                       reference, "java -cp <the same jars> Main", 1.02)

    def javac_row(self, number, home):
        """9. javac as the application on the JDK in home, compiling one small file: a wrapper
        jar packed by --main-jar, caches warm, against the same JVM running the wrapper."""
        if self.javac is None:
            wrapper = self.compile_main("javac-main", JAVAC_MAIN, self.jdk())
            source = os.path.join(self.work, "Greeting.java")
            write_file(source, JAVAC_INPUT)
            classes = os.path.join(self.work, "javac-out")
            os.mkdir(classes)
            self.javac = (wrapper, self.pack_main_jar("javac", wrapper, "Main"),
                          ["-d", classes, source])
        wrapper, launcher, args = self.javac
        env = self.launch_env(home)
        reference = self.step([os.path.join(home, "bin/java"), "-cp", wrapper, "Main"] + args,
                              env=env)
        self.time_warm(number, "javac of one file via --main-jar, JDK %d, caches warm"
                       % java_major(home), self.step([launcher] + args, env=env), reference,
                       "java -cp javac-main.jar Main, same JVM", 0.75)

    def javac_default(self):
        self.javac_row("9a", self.jdk())

    def javac_newest(self):
        home = jdk_at_least(25)
        if home is None:
            self.skip("9b", "javac via --main-jar, JDK >= 25", "a JDK 25 or later in /usr/lib/jvm")
            return
        self.javac_row("9b", home)

    def growth(self):
        """10. Cost against input size: tag files with a block of 50k/100k/200k values and with
        10k/20k/40k tags, each size timed against the smallest (4x the input may cost at most
        5x the time), and a walk over directories alone against find."""
        loader = os.path.join(self.build, "tag_load")
        runs = min(self.args.runs, 5)
        print("row 10: median of %d runs of each side, %d for the walk" % (runs, min(runs, 3)))

        def block_file(count):
            return "BLOCK:\n" + "".join("  value-%07d\n" % i for i in range(count)) + "/:\n"

        def tags_file(count):
            return "".join("TAG_%07d: value %d\n" % (i, i) for i in range(count))

        for number, what, make, sizes, expect in (
                ("10a", "tag block of %d values", block_file, (50000, 100000, 200000),
                 lambda n: "1 %d" % n),
                ("10b", "tag file of %d tags", tags_file, (10000, 20000, 40000),
                 lambda n: "%d %d" % (n, n))):
            steps = {}
            for count in sizes:
                path = os.path.join(self.work, "%s-%d.tag" % (number, count))
                write_file(path, make(count))
                steps[count] = [self.step([loader, path])]
                out = self.runner.output_of(steps[count][0], self.work).strip()
                if out != expect(count):
                    raise BenchError("%s: tag_load printed %r, not %r" % (path, out,
                                                                          expect(count)))
            smallest = sizes[0]
            for count in sizes[1:]:
                result = self.runner.compare(steps[count], steps[smallest], runs)
                scale = count / smallest
                self.table.add_times(number, what % count, result,
                                     "%d (%.0fx the input)" % (smallest, scale),
                                     goal=scale * 5 / 4)

        # In memory when the machine has a tmpfs: what is measured is the walk's own work per
        # directory, not the disk's, and making and removing the tree takes seconds, not
        # minutes.
        shm = "/dev/shm"
        in_memory = os.path.isdir(shm) and os.access(shm, os.W_OK)
        tree = tempfile.mkdtemp(prefix="qvbench-dirs-", dir=shm if in_memory else self.work)
        try:
            self.walk_directories(tree, runs)
        finally:
            subprocess.run(["rm", "-rf", tree], check=False)

    def walk_directories(self, tree, runs):
        walker = os.path.join(self.build, "search_walk")
        subprocess.run([walker, "generate-dirs", tree, str(self.args.dirs)], check=True,
                       stdout=subprocess.DEVNULL)
        ours = [self.step([walker, "walk", tree])]
        find = [self.step([shutil.which("find") or "/usr/bin/find", tree, "-name", "java",
                           "-type", "f"])]
        walked = sorted(self.runner.output_of(ours[0], self.work).split())
        found = sorted(self.runner.output_of(find[0], self.work).split())
        if walked != found or not walked:
            raise BenchError("the walk found %d files, find %d" % (len(walked), len(found)))
        # The walks above were the warm-up; a walk of this size takes seconds, so 3 runs.
        result = self.runner.compare(ours, find, min(runs, 3), warm_up=False)
        self.table.add_times("10c", "walk of %d directories" % self.args.dirs, result,
                             "find -name java -type f", goal=1.5)


ROWS = [("1", Bench.real_jvm), ("1c", Bench.hello_main_jar), ("2", Bench.fake_jvm),
        ("3", Bench.query), ("4", Bench.walk), ("5", Bench.extract),
        ("6", Bench.size_and_memory), ("7a", Bench.ant_direct), ("7b", Bench.ant_launcher),
        ("8", Bench.big_application), ("9a", Bench.javac_default), ("9b", Bench.javac_newest),
        ("10", Bench.growth)]


def selected(key, only):
    """Whether the rows of key run: all without --only; with it, those named and those of a
    group named (7 names 7a and 7b, 1 names 1 and 1c but not 10)."""
    return only is None or any(
        key == name or (key.startswith(name) and not key[len(name)].isdigit()) for name in only)


def run_all(build, work, args):
    bench = Bench(build, work, args)
    print(machine_line())
    print("each row: median of %d runs of each side, alternating A B A B ..." % args.runs)
    print()
    for number, row in ROWS:
        if selected(number, args.only):
            row(bench)
    bench.table.print()
    print()
    print(machine_line())


if __name__ == "__main__":
    sys.exit(main())
