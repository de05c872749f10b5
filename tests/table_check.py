"""Checks tables that qrpht exported (-e) against their products, both read
with astropy: the table with Table.read(path, format='ascii.ecsv'), the
product with astropy.io.fits.

For every table: the meta against the primary header's cards; every column
taken from the product against the product's column of that name (TUNITn
unit, TTYPEn comment, every value bit for bit, row by row: one row per
record and pixel, per configuration, or per measurement and pixel); the
derived columns against their own reckoning: camera pixel positions
against the gnomonic (TAN) deprojection of tools/fixtures/positions.py to
0.0001 degrees, spectrometer wavelengths from the LAMBDAn cards and fluxes
in mJy (value x 3.338e14 x wavelength^2). A product file cut short is read
as far as its rows are whole.

Usage: /usr/bin/python3 tests/table_check.py PRODUCT TABLE [PRODUCT TABLE ...]
Prints one line per fault and exits with 1 when there is any.
"""

import datetime
import math
import os
import sys

import numpy as np
from astropy import units as u
from astropy.io import fits
from astropy.table import Table

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'tools', 'fixtures'))
import positions  # noqa: E402

TOLERANCE = 0.0001  # degrees
MJY_PER_VALUE_UM2 = np.float64(np.float32(3.338e14))
faults = []


def fault(name, text):
    faults.append('%s: %s' % (name, text))


def read_product(path):
    """Primary and extension headers, and the whole rows of the table."""
    with fits.open(path, lazy_load_hdus=True) as hdul:
        head, ext = hdul[0].header.copy(), hdul[1].header.copy()
        offset, dtype = hdul[1]._data_offset, hdul[1].columns.dtype
    big_endian = np.dtype([(n, dtype[n].base.newbyteorder('>'), dtype[n].shape)
                           for n in dtype.names])
    with open(path, 'rb') as f:
        f.seek(offset)
        raw = f.read(ext['NAXIS2'] * ext['NAXIS1'])
    rows = len(raw) // ext['NAXIS1'] if ext['NAXIS1'] else 0
    return head, ext, np.frombuffer(raw[:rows * ext['NAXIS1']], dtype=big_endian)


def cell_text(column, row):
    """A string cell; astropy reads an empty one as masked."""
    value = column[row]
    return '' if value is np.ma.masked else str(value)


def same(a, b):
    if isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b):
        return True
    return a == b and type(a) is type(b)


def iso(text):
    try:
        return datetime.datetime.strptime(text, '%y%j%H%M%S').isoformat()
    except (TypeError, ValueError):
        return None


def check_meta(name, product, table, head):
    text = lambda key: str(head.get(key, '')).rstrip()  # noqa: E731
    number = lambda key: float(head[key]) if key in head else None  # noqa: E731
    expected = {
        'FILENAME': text('FILENAME'), 'PRODUCT': table.meta.get('PRODUCT'),
        'OBJECT': text('OBJECT'), 'OBSERVER': text('OBSERVER'), 'PROPOSAL': text('EOHAPLID'),
        'AOT': text('EOHAAOTN'), 'RA_PNT': number('ATTRA'), 'DEC_PNT': number('ATTDEC'),
        'EQUINOX': number('EQUINOX'), 'DATE-OBS': iso(head.get('EOHAUTCS')),
        'DATE-END': iso(head.get('EOHAUTCE')), 'TIMESYS': 'UTC', 'CREATED': text('DATE'),
        'PIPELINE_VERSION': text('OLPVERS'), 'SOURCE': product, 'CREATOR': 'qrpht',
    }
    if not text('FILENAME').startswith(table.meta.get('PRODUCT', '?')):
        fault(name, 'product type %r for FILENAME %r' % (table.meta.get('PRODUCT'), text('FILENAME')))
    for key, value in expected.items():
        if not same(table.meta.get(key), value):
            fault(name, 'meta %s is %r, the product says %r' % (key, table.meta.get(key), value))


def check_column_cards(name, table, ext):
    """Unit and description of every column the product has."""
    for n in range(1, ext.get('TFIELDS', 0) + 1):
        column = ext['TTYPE%d' % n]
        if column not in table.colnames:
            continue
        c = table[column]
        unit = ext.get('TUNIT%d' % n)
        want = None if unit is None else u.Unit(unit, parse_strict='silent')
        if c.unit != want:
            fault(name, '%s unit %r, TUNIT%d %r' % (column, c.unit, n, unit))
        if c.description != ext.comments['TTYPE%d' % n]:
            fault(name, '%s description %r' % (column, c.description))


def as_stored(value, like):
    """A product value as the table stores it: float32, or an integer."""
    return int(value) if np.issubdtype(like.dtype, np.integer) else np.float32(value)


def check_values(name, table, data, column, rows_of):
    """Every cell of a stored column: rows_of(row) gives the (record,
    element) of the product value it holds."""
    if column not in table.colnames:
        return
    cells = table[column]
    for row in range(len(table)):
        record, element = rows_of(row)
        stored = data[column][record]
        if np.ndim(stored) > 0:  # an array: the element, 0 beyond its end
            stored = stored[element] if element < len(stored) else 0
        want = as_stored(stored, cells)
        got = cells[row]
        if not (got == want or (np.isnan(got) and np.isnan(want))):
            fault(name, '%s row %d is %r, the product %r' % (column, row, got, want))
            return


# ---------------------------------------------------------------- camera

def detector(head, filter_no):
    return positions.detector_of(head.get('FILTER%d' % filter_no, ''))


def filter_count(head, ext):
    return sum(1 for h in (head, ext) for key in h if key.startswith('FILTER'))


def camera_records(kind, head, ext, data):
    """(filter, point, line, pointing) of every record a table holds."""
    records = []
    per_filter = head.get('ATTRNPTS', 0) * head.get('ATTRNLNS', 0) if kind == 'PCAS' else 1
    count = len(data)
    if kind == 'PCAS':
        count = min(count, per_filter * filter_count(head, ext))
    for i in range(count):
        if kind == 'PCAS':
            at = i % per_filter
            pointing = [positions.f32(data[c][i]) for c in ('PCASRA', 'PCASDEC', 'PCASROLL')]
            records.append((i // per_filter + 1, at % head['ATTRNPTS'] + 1,
                            at // head['ATTRNPTS'] + 1, pointing))
        else:
            pointing = [head.get(k, 0.0) for k in ('INSTRA', 'INSTDEC', 'INSTROLL')]
            records.append((i + 1, 0, 0, pointing))
    return records


def tan_block(det, pointing):
    """Positions of a record's pixels, row by row from the top left."""
    text = positions.block(det, *pointing)
    return [[float(v) for v in line.split()] for line in text.splitlines()[1:]], text


def ra_difference(a, b):
    d = abs(a - b) % 360.0
    return min(d, 360.0 - d)


def check_camera(name, product, table, head, ext, data, kind):
    records = camera_records(kind, head, ext, data)
    places = []  # (record, element, row, column, expected position) of every table row
    blocks = ''
    for r, (filter_no, point, line, pointing) in enumerate(records):
        det = detector(head, filter_no)
        if det is None:
            places += [(r, e, 0, 0, (math.nan, math.nan)) for e in range(9)]
            continue
        sky, text = tan_block(det, pointing)
        blocks += text
        layout = [[2, 5, 8], [1, 4, 7], [0, 3, 6]] if det == 'C100' else [[2, 3], [1, 0]]
        rows = {}
        for l, elements in enumerate(layout):
            for m, e in enumerate(elements):
                rows[e] = (r, e, l + 1, m + 1, tuple(sky[l][2 * m:2 * m + 2]))
        places += [rows[e] for e in sorted(rows)]
    pos = os.path.splitext(os.path.join(ROOT, 'tests', 'fixtures', 'positions',
                                        os.path.basename(product)))[0] + '.pos'
    if os.path.exists(pos) and open(pos).read() != blocks:
        fault(name, 'positions differ from %s' % pos)
    if len(table) != len(places):
        fault(name, '%d rows for %d records (%d expected)' % (len(table), len(records), len(places)))
        return
    for row, (r, e, l, m, (ra, dec)) in enumerate(places):
        filter_no, point, line, _ = records[r]
        want = {'FILTER': filter_no, 'PIXEL': e + 1, 'PIXEL_ROW': l, 'PIXEL_COLUMN': m}
        if kind == 'PCAS':
            want.update({'RASTER_POINT': point, 'RASTER_LINE': line})
        got = {k: int(table[k][row]) for k in want}
        if got != want:
            fault(name, 'row %d is %r, expected %r' % (row, got, want))
            return
        t_ra, t_dec = float(table['RA'][row]), float(table['DEC'][row])
        if math.isnan(ra) != math.isnan(t_ra) or ra_difference(t_ra, ra) > TOLERANCE or \
                abs(t_dec - dec) > TOLERANCE:
            fault(name, 'row %d at (%r, %r), TAN gives (%r, %r)' % (row, t_ra, t_dec, ra, dec))
            return
        if cell_text(table['FILTER_NAME'], row) != str(head.get('FILTER%d' % filter_no, '')).rstrip():
            fault(name, 'row %d filter name %r' % (row, table['FILTER_NAME'][row]))
    for column in table.colnames[8 + (2 if kind == 'PCAS' else 0):]:
        check_values(name, table, data, column, lambda row: places[row][:2])


# ---------------------------------------------------------------- others

def check_photometer(name, table, head, data):
    if len(table) != len(data):
        fault(name, '%d rows for %d configurations' % (len(table), len(data)))
        return
    for k in range(len(data)):
        for column, key in (('FILTER', 'FILTER%d'), ('APERTURE', 'APER%d')):
            want = str(head.get(key % (k + 1), '')).rstrip()
            if cell_text(table[column], k) != want:
                fault(name, 'configuration %d %s %r' % (k + 1, column, table[column][k]))
    for column in table.colnames[3:]:
        check_values(name, table, data, column, lambda row: (row, 0))


def check_spectrometer(name, table, head, ext, data):
    if len(table) != 64 * len(data):
        fault(name, '%d rows for %d measurements' % (len(table), len(data)))
        return
    # LAMBDAn cards (metres) stand in either header, the extension's last.
    lam = lambda key: ext.get(key, head.get(key, 0.0))  # noqa: E731
    um = [np.float32(lam('LAMBDA%d' % (p + 1)) * 1e6) for p in range(64)]
    for row in range(len(table)):
        k, p = divmod(row, 64)
        if (table['MEASUREMENT'][row], table['PIXEL'][row]) != (k + 1, p + 1) or \
                table['WAVELENGTH'][row] != um[p]:
            fault(name, 'row %d: measurement, pixel or wavelength wrong' % row)
            return
    mjy = [c for c in table.colnames if c.endswith('_MJY')]
    for column in table.colnames:
        if column in ('MEASUREMENT', 'PIXEL', 'WAVELENGTH') or column in mjy:
            continue
        check_values(name, table, data, column, lambda row: divmod(row, 64))
    for column in mjy:
        stored = table[column[:-4]]
        wl = np.array([np.float64(um[row % 64]) for row in range(len(table))])
        want = MJY_PER_VALUE_UM2 * wl * wl * np.asarray(stored, dtype=np.float64)
        got = np.asarray(table[column], dtype=np.float64)
        if table[column].unit != u.mJy or not np.array_equal(got, want, equal_nan=True):
            fault(name, '%s is not the stored value in mJy' % column)


def main(args):
    for product, path in zip(args[0::2], args[1::2]):
        name = os.path.basename(product)
        head, ext, data = read_product(product)
        table = Table.read(path, format='ascii.ecsv')
        kind = table.meta.get('PRODUCT')
        check_meta(name, product, table, head)
        check_column_cards(name, table, ext)
        if kind in ('PCAE', 'PCAP', 'PCAS'):
            check_camera(name, product, table, head, ext, data, kind)
        elif kind in ('PPAE', 'PPAP'):
            check_photometer(name, table, head, data)
        else:
            check_spectrometer(name, table, head, ext, data)
        print('%s: %d rows checked' % (name, len(table)))
    for f in faults:
        print(f)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
