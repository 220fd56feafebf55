"""Desk tools around the `rillway` module: the `rillway` command, the design tables as text,
CSV, JSON or Markdown, the storm-sewer profile plot, networks read from and written to EPA
SWMM, LandXML and GIS files, results in SI units, the plan view and the drainage report
(`rillway_tools.report`).

    import rillway, rillway_tools
    text = rillway.demo_project_json()
    ax = rillway_tools.plot_profile(text, rillway.analyze_project(text), "N1")
"""
from .documents import DocumentError, Layout, layout_of
from .formats import FormatError, read_network, to_si, write_network
from .plan import plot_plan
from .profile import Profile, plot_profile, profile_of
from .results import (AccessHoleEnergy, AccessHoleInflow, AnalysisResult, CircularGeometry,
                      DesignedInlet, DesignedPipe, DesignResult, EnergyNodeResult,
                      EnergyPipeResult, GutterSpread, InletInSag, InletOnGrade, InletResult,
                      NodeResult, OpenChannel, PipeResult, RaisedPipeResult)
from .tables import render

__all__ = ["AccessHoleEnergy", "AccessHoleInflow", "AnalysisResult", "CircularGeometry",
           "DesignResult", "DesignedInlet", "DesignedPipe", "DocumentError", "EnergyNodeResult",
           "EnergyPipeResult", "FormatError", "GutterSpread", "InletInSag", "InletOnGrade",
           "InletResult", "Layout", "NodeResult", "OpenChannel", "PipeResult", "Profile",
           "RaisedPipeResult", "layout_of", "plot_plan", "plot_profile", "profile_of",
           "read_network", "render", "to_si", "write_network"]
