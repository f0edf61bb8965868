# The embedded frontend: the asset table and the protocol handler.
