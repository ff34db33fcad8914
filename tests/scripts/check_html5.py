#!/usr/bin/python3
"""Parses each file named on the command line as HTML5 with html5lib in strict mode, after
decoding it strictly as UTF-8. Prints every page's first error and exits 1 when a page has one.

    check_html5.py PAGE...
"""

import sys

import html5lib


def first_error(path):
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        return f"not UTF-8: {error}"
    try:
        html5lib.HTMLParser(strict=True).parse(text)
    except html5lib.html5parser.ParseError as error:
        return f"not valid HTML5: {error}"
    return None


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    failed = 0
    for path in sys.argv[1:]:
        error = first_error(path)
        if error:
            print(f"{path}: {error}")
            failed += 1
    print(f"{len(sys.argv) - 1 - failed} of {len(sys.argv) - 1} pages parse as HTML5 without errors")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
