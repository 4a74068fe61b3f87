"""The programs' --version, and their manual pages against their --help.

Arguments: version|manuals VELLUM VELLUM_TABLET DIST_DIR PROJECT_VERSION
"""

import os
import re
import subprocess
import sys


def run(args):
    return subprocess.run(args, capture_output=True, text=True, timeout=20)


def check_version(programs, version):
    problems = []
    for name, path in programs.items():
        r = run([path, "--version"])
        if (r.returncode, r.stdout, r.stderr) != (0, "%s %s\n" % (name, version), ""):
            problems.append("%s --version: status %d, stdout %r, stderr %r"
                            % (name, r.returncode, r.stdout, r.stderr))
    return problems


def check_manuals(programs, dist, version):
    problems = []
    for name, path in programs.items():
        page = os.path.join(dist, name + ".1")
        with open(page, encoding="utf-8") as f:
            source = f.read()
        # Every option the program names in --help is described (roff writes - as \-).
        options = set(re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", run([path, "--help"]).stdout))
        for option in sorted(options):
            if option.replace("-", r"\-") not in source:
                problems.append("%s: %s is in --help but not in the manual" % (page, option))
        th = re.search(r'^\.TH \S+ 1 \S+ "Vellum ([^"]+)"', source, re.M)
        if not th or th.group(1) != version:
            problems.append("%s: .TH does not name version %s" % (page, version))
        for check in (["man", "--warnings", "-l", page], ["groff", "-man", "-ww", "-z", page]):
            r = subprocess.run(check, capture_output=True, text=True, timeout=20,
                               env=dict(os.environ, MANWIDTH="80"))
            if r.returncode != 0 or r.stderr:
                problems.append("%s: %s: %s" % (page, " ".join(check[:-1]), r.stderr.strip()))
    return problems


def main():
    if len(sys.argv) != 6 or sys.argv[1] not in ("version", "manuals"):
        sys.exit(__doc__)
    check, vellum, tablet, dist, version = sys.argv[1:]
    programs = {"vellum": vellum, "vellum-tablet": tablet}
    if check == "version":
        problems = check_version(programs, version)
    else:
        problems = check_manuals(programs, dist, version)
    for p in problems:
        print("FAIL: " + p, file=sys.stderr)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
