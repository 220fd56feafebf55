import math

import pytest

import rillway


@pytest.fixture(scope="session")
def rw():
    return rillway


def segment(depth, diameter):
    """Circular-segment area and top width from the textbook central-angle formulas."""
    theta = 2.0 * math.acos(1.0 - 2.0 * depth / diameter)
    area = diameter**2 / 8.0 * (theta - math.sin(theta))
    top = diameter * math.sin(theta / 2.0)
    return area, top


def same(a, b):
    """Equality of result structures in which NaN equals NaN."""
    if isinstance(a, float) and isinstance(b, float):
        return a == b or (math.isnan(a) and math.isnan(b))
    if isinstance(a, dict) and isinstance(b, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list) and isinstance(b, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return type(a) is type(b) and a == b
