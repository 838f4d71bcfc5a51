#!/bin/sh
echo "configured"
