"""Networks in and out of the formats engineers keep them in, and results in SI units.

    import rillway_tools
    document = rillway_tools.read_network("trunk.inp")        # EPA SWMM 5, LandXML, GIS, ...
    rillway_tools.write_network(document, "trunk.gpkg")        # GeoPackage layers
    si = rillway_tools.to_si(rillway.analyze_project(json.dumps(document)))

The format is chosen by the file extension (see `FORMATS`); every reader returns a project
document (the `.rwproj` keys) and every writer takes one.
"""
from .errors import FormatError
from .registry import FORMATS, Format, format_of, read_network, write_network
from .si import SI_UNITS, to_si

__all__ = ["FORMATS", "Format", "FormatError", "SI_UNITS", "format_of", "read_network",
           "to_si", "write_network"]
