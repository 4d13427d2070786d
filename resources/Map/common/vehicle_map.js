// Vehicle map shared by the map pages: one map, vehicles with a heading
// marker, a name and the track of the positions received since they were
// inserted. The player drives it through six global functions, every argument
// a string; the pages only pick the coordinate system and the tile service.
//
// Offline the tiles fail to load and a plain degree grid with a scale is all
// there is beneath the vehicles; with a network the tiles cover the grid.
(function () {
  'use strict';

  var map = null;
  var vehicles = {};        // name -> vehicle
  var centreNext = false;   // "setCenter" asked to centre on the next position
  var centreZoom = 16;
  var everPlaced = false;   // no position drawn yet since the page loaded

  function showProblem(text) {
    var p = document.getElementById('problem');
    p.textContent = text;
    p.style.display = 'block';
  }

  function number(text) {
    var v = parseFloat(text);
    return isFinite(v) ? v : null;
  }

  // Grid spacing in degrees for the visible span: about four to ten lines.
  function gridStep(span) {
    var steps = [45, 30, 20, 10, 5, 2, 1, 0.5, 0.2, 0.1, 0.05, 0.02, 0.01, 0.005, 0.002, 0.001,
                 0.0005, 0.0002, 0.0001];
    for (var i = 0; i < steps.length; i++) {
      if (span / steps[i] >= 4) return steps[i];
    }
    return steps[steps.length - 1];
  }

  function degreeText(v, step) {
    var decimals = step >= 1 ? 0 : Math.min(4, Math.ceil(-Math.log10(step)));
    return v.toFixed(decimals) + '\u00b0';
  }

  // A graticule redrawn for the view, in its own pane beneath the tiles.
  function GridLayer() {
    var group = L.layerGroup();
    var style = { pane: 'grid', color: '#b9bfa8', weight: 1, interactive: false };
    function label(latlng, text, anchor) {
      var el = document.createElement('div');
      el.className = 'grid-label';
      el.textContent = text;
      return L.marker(latlng, {
        pane: 'grid', interactive: false, keyboard: false,
        icon: L.divIcon({ html: el, className: '', iconSize: null, iconAnchor: anchor })
      });
    }
    function redraw() {
      group.clearLayers();
      var b = map.getBounds();
      var south = Math.max(b.getSouth(), -85), north = Math.min(b.getNorth(), 85);
      var west = Math.max(b.getWest(), -180), east = Math.min(b.getEast(), 180);
      if (!(north > south && east > west)) return;
      var step = gridStep(Math.max(north - south, east - west));
      var lon, lat;
      var first = Math.ceil(west / step), i;
      for (i = first; (lon = i * step) <= east; i++) {
        group.addLayer(L.polyline([[south, lon], [north, lon]], style));
        group.addLayer(label([north, lon], degreeText(lon, step), [-3, -2]));
      }
      for (i = Math.ceil(south / step); (lat = i * step) <= north; i++) {
        group.addLayer(L.polyline([[lat, west], [lat, east]], style));
        group.addLayer(label([lat, west], degreeText(lat, step), [-3, 14]));
      }
    }
    return { group: group, redraw: redraw };
  }

  // Tiles over the grid; a failed tile stays hidden so the grid shows.
  function addTiles(tiles) {
    if (!tiles) return;
    var note = L.control({ position: 'bottomleft' });
    note.onAdd = function () {
      var el = L.DomUtil.create('div', 'tiles-note');
      el.textContent = 'No map tiles: degree grid only';
      el.style.display = 'none';
      return el;
    };
    note.addTo(map);
    var layer = tiles.layer;
    var loaded = 0;
    layer.on('tileerror', function (e) {
      if (e.tile) e.tile.style.visibility = 'hidden';
      if (!loaded) note.getContainer().style.display = 'block';
    });
    layer.on('tileload', function () {
      loaded++;
      note.getContainer().style.display = 'none';
    });
    layer.addTo(map);
  }

  function arrowElement() {
    var ns = 'http://www.w3.org/2000/svg';
    var svg = document.createElementNS(ns, 'svg');
    svg.setAttribute('width', '22');
    svg.setAttribute('height', '22');
    svg.setAttribute('viewBox', '0 0 22 22');
    var path = document.createElementNS(ns, 'path');
    path.setAttribute('d', 'M11 1 L19 20 L11 15 L3 20 Z');  // points north before turning
    svg.appendChild(path);
    return svg;
  }

  function makeVehicle(name) {
    var v = { name: name, label: name, lat: null, lon: null, heading: 0, speed: 0, track: [],
              selected: false, marker: null, line: null };
    var root = document.createElement('div');
    root.className = 'vehicle';
    v.arrow = document.createElement('div');
    v.arrow.className = 'vehicle-arrow';
    v.arrow.appendChild(arrowElement());
    v.nameEl = document.createElement('div');
    v.nameEl.className = 'vehicle-name';
    v.nameEl.textContent = name;
    root.appendChild(v.arrow);
    root.appendChild(v.nameEl);
    v.root = root;
    v.icon = L.divIcon({ html: root, className: '', iconSize: null, iconAnchor: [0, 0] });
    return v;
  }

  function removeVehicle(v) {
    if (v.marker) map.removeLayer(v.marker);
    if (v.line) map.removeLayer(v.line);
  }

  function vehicle(name) {
    if (!Object.prototype.hasOwnProperty.call(vehicles, name)) vehicles[name] = makeVehicle(name);
    return vehicles[name];
  }

  function place(v, lat, lon) {
    var at = L.latLng(lat, lon);
    var last = v.track[v.track.length - 1];
    if (!last || last.lat !== lat || last.lng !== lon) v.track.push(at);
    if (!v.line) v.line = L.polyline(v.track, { color: '#1766c9', weight: 3, opacity: 0.7 }).addTo(map);
    else v.line.setLatLngs(v.track);
    if (!v.marker) v.marker = L.marker(at, { icon: v.icon, keyboard: false, zIndexOffset: 1000 }).addTo(map);
    else v.marker.setLatLng(at);
    v.lat = lat;
    v.lon = lon;
    if (centreNext || !everPlaced) {
      map.setView(at, centreNext ? centreZoom : Math.max(map.getZoom(), 14));
      centreNext = false;
    }
    everPlaced = true;
  }

  // The six functions the player calls.
  window.insertVehicle = function (name) {
    name = String(name);
    if (Object.prototype.hasOwnProperty.call(vehicles, name)) removeVehicle(vehicles[name]);
    delete vehicles[name];
    vehicle(name);
  };

  window.setVehiName = function (name, label) {
    var v = vehicle(String(name));
    v.label = String(label);
    v.nameEl.textContent = v.label;
  };

  // ("1", "1", zoom, "1"): centre on the vehicle at its next position with this zoom.
  window.setCenter = function (follow, unused, zoom) {
    var z = number(zoom);
    if (z !== null) centreZoom = Math.max(map.getMinZoom(), Math.min(map.getMaxZoom(), Math.round(z)));
    centreNext = follow !== '0';
  };

  // (name, longitude, latitude, direction in eighths of a turn, "0", speed, "", "")
  window.updateVehicle = function (name, lon, lat, direction, unused, speed) {
    var x = number(lon), y = number(lat);
    if (x === null || y === null || Math.abs(y) > 90 || Math.abs(x) > 180) return;
    var v = vehicle(String(name));
    var d = number(direction);
    if (d !== null) v.heading = ((d * 45) % 360 + 360) % 360;
    v.speed = number(speed) || 0;
    v.arrow.style.transform = 'rotate(' + v.heading + 'deg)';
    v.arrow.title = v.speed.toFixed(1) + ' km/h';
    place(v, y, x);
  };

  // (name, "0"): highlight the vehicle and keep it in view; anything but "0"
  // centres on it.
  window.selectVehicleEx = function (name, how) {
    name = String(name);
    Object.keys(vehicles).forEach(function (k) {
      var v = vehicles[k];
      v.selected = k === name;
      v.root.classList.toggle('selected', v.selected);
    });
    var v = vehicles[name];
    if (!v || v.lat === null) return;
    var at = L.latLng(v.lat, v.lon);
    if (how !== '0') map.panTo(at);
    else if (!map.getBounds().pad(-0.15).contains(at)) map.panTo(at);
  };

  window.deleteVehicle = function (name) {
    name = String(name);
    if (!Object.prototype.hasOwnProperty.call(vehicles, name)) return;
    removeVehicle(vehicles[name]);
    delete vehicles[name];
  };

  // The page's state as JSON, for checks from outside.
  window.mapState = function () {
    var out = { ready: !!map, zoom: map ? map.getZoom() : null, vehicles: {} };
    if (map) {
      var c = map.getCenter();
      out.center = { lat: c.lat, lon: c.lng };
    }
    Object.keys(vehicles).forEach(function (k) {
      var v = vehicles[k];
      out.vehicles[k] = { label: v.label, shownLabel: v.nameEl.textContent, lat: v.lat, lon: v.lon,
                          heading: v.heading, speed: v.speed, track: v.track.length,
                          onMap: !!(v.marker && map.hasLayer(v.marker)), selected: v.selected };
    });
    return JSON.stringify(out);
  };

  // options: { crs, maxZoom, tiles: { layer } }
  window.startVehicleMap = function (options) {
    if (typeof L === 'undefined') {
      showProblem('The map library (leaflet.js) is missing beside this page; no map can be drawn.');
      return;
    }
    map = L.map('map', { crs: options.crs || L.CRS.EPSG3857, minZoom: 2, maxZoom: options.maxZoom || 18,
                         zoomControl: false, attributionControl: true, worldCopyJump: false });
    L.control.zoom({ position: 'bottomright' }).addTo(map);  // the top and left edges carry the grid labels
    map.createPane('grid').style.zIndex = 150;  // beneath the tiles (200)
    map.setView([34, 108], 4);
    var grid = GridLayer();
    grid.group.addTo(map);
    map.on('moveend zoomend resize', grid.redraw);
    grid.redraw();
    L.control.scale({ imperial: false }).addTo(map);
    addTiles(options.tiles);
  };
})();
