#!/usr/bin/python3
"""Text listing of an ISO PHT AAR product written with astropy.

This is the program an astronomer would write instead of running qrpht, and
the benchmark (tools/bench) times it on the same products as the anchor
qrpht must beat. It writes every header card of both headers as
"comment: value (keyword)", then every table row with every column: integer
columns with "%9d", floating columns with the numeric formats of the qrpht
listings ("%8.2e" for the spectrometer, "%8.4f" or "%g" above a magnitude
of 100000 for the camera and the photometer), character columns as text,
arrays in lines of 8 values (spectrometer) or 3 values (detector pixels).

Run with Debian's interpreter: /usr/bin/python3 tools/bench_anchor.py IN OUT
"""

import sys

from astropy.io import fits
import numpy as np


def fixed_or_g(v):
    return '%8.4f' % v if abs(v) < 100000 else '%g' % v


def integer_text(v):
    return '%8d' % v


def sci(v):
    return '%8.2e' % v


def card_lines(header):
    for card in header.cards:
        if card.keyword in ('COMMENT', 'HISTORY', ''):
            yield '%s\n' % card.image.rstrip()
        else:
            yield '%.47s: %s (%s)\n' % (card.comment, card.value, card.keyword)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write('usage: %s product.fits listing.txt\n' % argv[0])
        return 1
    with fits.open(argv[1]) as hdul, open(argv[2], 'w') as out:
        product = str(hdul[0].header.get('FILENAME', ''))
        spectrometer = product.startswith(('PLA', 'PSA'))
        fmt = sci if spectrometer else fixed_or_g
        per_line = 8 if spectrometer else 3

        out.write('Name of the AAR file: %s\n\n' % argv[1])
        for i, hdu in enumerate(hdul):
            out.write('\nHeader %d:\n\n' % i)
            out.writelines(card_lines(hdu.header))

        table = hdul[1]
        data = table.data
        columns = []
        for n, col in enumerate(table.columns, start=1):
            label = table.header.comments['TTYPE%d' % n]
            values = np.asarray(data[col.name])
            kind = values.dtype.kind
            if kind in 'iu':
                one = integer_text
            elif kind in 'SU':
                one = str  # character columns (the photometer's filter names)
            else:
                one = fmt
            columns.append((col.name, label, one, values.ndim > 1, values.tolist()))

        for row in range(len(data)):
            out.write('\nRow No. %d\n\n' % (row + 1))
            for name, label, one, array, values in columns:
                v = values[row]
                if not array:
                    text = '%9d' % v if one is integer_text else one(v)
                    out.write('%.47s= %s   (%s)\n' % (label, text, name))
                    continue
                out.write('\n%s (%s)\n' % (label, name))
                for at in range(0, len(v), per_line):
                    out.write(' '.join(one(x) for x in v[at:at + per_line]) + '\n')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
