"""Reads a table with astropy (Table.read(path, format='ascii.ecsv')) and
prints what astropy made of it as JSON on standard output: every column
with its datatype, unit, description and cells, then the meta entries in
order. Floats are given as exact hexadecimal texts (nan, inf, -inf for the
others) and masked cells as null, so the caller can compare bit for bit."""
import json
import sys

import numpy as np
from astropy.table import Table


def cell(value, masked):
    if masked:
        return None
    if isinstance(value, (bool, np.bool_)):
        return bool(value)
    if isinstance(value, (int, np.integer)):
        return int(value)
    if isinstance(value, (float, np.floating)):
        return float(value).hex()
    return str(value)


def meta_entry(key, value):
    if value is None:
        return [key, "null", None]
    if isinstance(value, bool):
        return [key, "bool", value]
    if isinstance(value, int):
        return [key, "int", value]
    if isinstance(value, float):
        return [key, "float", value.hex()]
    return [key, type(value).__name__, value]


def main(path):
    table = Table.read(path, format="ascii.ecsv")
    columns = []
    for column in table.itercols():
        mask = getattr(column, "mask", None)
        cells = [cell(v, bool(mask[i]) if mask is not None else False)
                 for i, v in enumerate(column.tolist())]
        columns.append({
            "name": column.name,
            "dtype": column.dtype.name if column.dtype.kind != "U" else "str",
            "unit": None if column.unit is None else column.unit.to_string(),
            "description": column.description,
            "cells": cells,
        })
    meta = [meta_entry(k, v) for k, v in table.meta.items()]
    print(json.dumps({"columns": columns, "meta": meta}))


if __name__ == "__main__":
    main(sys.argv[1])
