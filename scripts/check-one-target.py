#!/usr/bin/env python3
"""Fails when a source file is compiled into more than one target of a build (each file belongs to
one library or program; others link it). Usage: check-one-target.py BUILD/compile_commands.json"""
import collections
import json
import sys

with open(sys.argv[1], encoding='utf-8') as f:
    commands = json.load(f)
counts = collections.Counter(entry['file'] for entry in commands)
twice = sorted(name for name, n in counts.items() if n > 1)
for name in twice:
    print('compiled into %d targets: %s' % (counts[name], name), file=sys.stderr)
print('%d source files, %d compiled more than once' % (len(counts), len(twice)))
sys.exit(1 if twice else 0)
