#!/usr/bin/env python3
"""Validates JSON files against Numera's result schema with python3-jsonschema.

usage: validate_json.py SCHEMA DEF FILE...
DEF names one of the schema's $defs ("comparison", "system_info"...), or is
empty for the top level. Prints each error with its file and exits 1 when
any file is invalid.
"""
import json
import sys

import jsonschema


def main():
    schema_path, definition, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    if definition:
        schema = {"$schema": schema["$schema"], "$defs": schema["$defs"], "$ref": "#/$defs/" + definition}
    validator = jsonschema.Draft202012Validator(schema)
    bad = 0
    for path in files:
        with open(path, encoding="utf-8") as f:
            document = json.load(f)
        for error in validator.iter_errors(document):
            bad += 1
            where = "/".join(str(p) for p in error.absolute_path) or "(top)"
            print(f"{path}: {where}: {error.message}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
