#!/usr/bin/env bash
# The man pages render without groff warnings, the desktop entry and the
# AppStream metadata validate. A checker that is not installed is skipped
# with a message. Usage: lint_test.sh DESKTOP_FILE METAINFO_FILE MAN_PAGE...
set -uo pipefail
desktop=$1
metainfo=$2
shift 2
failures=0

if command -v man >/dev/null; then
    for page in "$@"; do
        # As lintian runs it: every groff warning is printed.
        warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
            man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
        if [ -n "$warnings" ]; then
            echo "FAIL: $page: $warnings"
            failures=$((failures + 1))
        fi
    done
else
    echo "man is not installed: the man pages are not checked"
fi

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || failures=$((failures + 1))
else
    echo "desktop-file-validate is not installed: the desktop entry is not checked"
fi

if command -v appstreamcli >/dev/null; then
    # The one issue left is the ID, which is not a reverse domain name: the
    # project has no domain of its own to name it after.
    issues=$(appstreamcli validate --no-net "$metainfo" 2>&1 | grep -E '^[EWI]: ' |
        grep -v 'cid-desktopapp-is-not-rdns')
    if [ -n "$issues" ]; then
        echo "FAIL: $metainfo: $issues"
        failures=$((failures + 1))
    fi
else
    echo "appstreamcli is not installed: the AppStream metadata is not checked"
fi

[ "$failures" -eq 0 ] && echo "man pages, desktop entry and metainfo are clean"
exit $((failures != 0))
