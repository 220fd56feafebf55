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
