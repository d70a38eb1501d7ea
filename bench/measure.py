#!/usr/bin/env python3
"""Times the launcher side by side with its everyday counterparts and prints one table.

bench/run builds the release binaries and then calls this script; it can be called again by
hand on an existing build:

    python3 bench/measure.py BUILD_DIR [--runs N] [--files N] [--extract-mib N] [--dirs N]
                             [--only 2,5] [--samples]

Every figure is measured in this run: each row times our command (A) and its reference (B)
alternately, A B A B ..., after one untimed warm-up of each, and reports both medians and
their ratio. Fixtures live in one temporary directory that is removed at the end. Exits 1
when a fixture or a result is wrong; a missed goal is reported in the table, not as a failure.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MAGIC = "1739021872"
MIB = 1024 * 1024
# Entries of the long class path of row 2b: about 107 KiB, below the 128 KiB that Linux allows
# one argument (the whole command line that goes to the shell is one).
CLASSPATH_ENTRIES = 2800

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
                        help="the rows to run, for instance 2,5 (default: all)")
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

    def step(self, argv, cwd=None, env=None):
        return Step(argv, cwd or self.work, env or self.env)

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


ROWS = [("1", Bench.real_jvm), ("2", Bench.fake_jvm), ("3", Bench.query), ("4", Bench.walk),
        ("5", Bench.extract), ("6", Bench.size_and_memory), ("10", Bench.growth)]


def run_all(build, work, args):
    bench = Bench(build, work, args)
    print(machine_line())
    print("each row: median of %d runs of each side, alternating A B A B ..." % args.runs)
    print()
    for number, row in ROWS:
        if args.only is None or number in args.only:
            row(bench)
    bench.table.print()
    print()
    print(machine_line())


if __name__ == "__main__":
    sys.exit(main())
