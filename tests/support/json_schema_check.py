#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Validates JSON documents against a schema written down in docs/json.md.

Usage: json_schema_check.py DOCS_JSON_MD SCHEMA_ID FILE...

Every ```json block of the page that has an "$id" is a schema; they may refer to each
other by that id. Prints each violation (file, place, reason) and exits 1 when there is
one, 2 when the page or a file cannot be read.
"""
import json
import re
import sys

import jsonschema


def schemas(page):
    found = {}
    for block in re.findall(r"^```json\n(.*?)^```$", page, re.S | re.M):
        schema = json.loads(block)
        if "$id" in schema:
            found[schema["$id"]] = schema
    return found


def validator_for(schema, known):
    """A validator that resolves the page's ids: through `referencing` where the installed
    jsonschema has it (4.18 and later), else through the older RefResolver (Debian 12)."""
    try:
        import referencing
    except ImportError:
        resolver = jsonschema.RefResolver.from_schema(schema, store=dict(known))
        return jsonschema.Draft202012Validator(schema, resolver=resolver)
    registry = referencing.Registry().with_resources(
        (id_, referencing.Resource.from_contents(content)) for id_, content in known.items())
    return jsonschema.Draft202012Validator(schema, registry=registry)


def main(argv):
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as page:
        known = schemas(page.read())
    if argv[2] not in known:
        print(f"no schema {argv[2]} in {argv[1]}", file=sys.stderr)
        return 2
    for schema in known.values():
        jsonschema.Draft202012Validator.check_schema(schema)
    validator = validator_for(known[argv[2]], known)
    failed = False
    for path in argv[3:]:
        with open(path, encoding="utf-8") as file:
            document = json.load(file)
        for error in validator.iter_errors(document):
            failed = True
            place = "/".join(str(part) for part in error.absolute_path)
            print(f"{path}: /{place}: {error.message}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
