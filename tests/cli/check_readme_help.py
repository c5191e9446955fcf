#!/usr/bin/env python3
"""The README's block under "The command-line converter" is what
`marrowgate-convert --help` prints.

    check_readme_help.py CONVERTER README

Only trailing spaces and blank lines at the end are ignored. On a difference
it prints a diff from the README's block to the program's help: a new or
changed option means pasting the new help into the README.
"""
import difflib
import re
import subprocess
import sys

HEADING = '## The command-line converter'


def readme_block(path):
    with open(path, encoding='utf-8') as f:
        text = f.read()
    section = text.partition('\n' + HEADING + '\n')[2]
    block = re.search(r'^```[^\n]*\n(.*?)^```', section, re.M | re.S)
    if not section or not block:
        sys.exit(f'FAIL: {path} has no code block under "{HEADING}"')
    return block.group(1)


def normal(text):
    lines = [line.rstrip() for line in text.splitlines()]
    while lines and not lines[-1]:
        lines.pop()
    return lines


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    converter, readme = sys.argv[1:]
    result = subprocess.run([converter, '--help'], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        sys.exit(f'FAIL: {converter} --help ended with {result.returncode}: {result.stderr}')
    documented, actual = normal(readme_block(readme)), normal(result.stdout)
    if documented != actual:
        print(f'FAIL: the README\'s block under "{HEADING}" differs from --help; '
              'paste the help into the README:')
        sys.stdout.writelines(difflib.unified_diff(
            [l + '\n' for l in documented], [l + '\n' for l in actual],
            'README.md', 'marrowgate-convert --help'))
        sys.exit(1)


if __name__ == '__main__':
    main()
