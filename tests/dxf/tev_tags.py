"""Prints, as JSON, the "TEV" extended data of every model-space entity of a
drawing as an independent reader sees it: {handle: [[code, value], ...]}."""
import json
import sys

import ezdxf

doc = ezdxf.readfile(sys.argv[1])
out = {}
for entity in doc.modelspace():
    if entity.has_xdata("TEV"):
        out[entity.dxf.handle] = [[code, list(value) if isinstance(value, tuple) else value]
                                  for code, value in entity.get_xdata("TEV")]
print(json.dumps(out))
